#include "OutputFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace KexRecording {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int error) { return std::generic_category().message(error); }

[[noreturn]] void cannotWrite(const OutputFile& file, int error) {
    throw FileSetError("cannot write '" + file.temporaryPath().string() + "': " + errnoText(error), error,
                       file.finalPath());
}

}  // namespace

OutputFile::OutputFile(fs::path temporaryPath, fs::path finalPath, int descriptor)
    : temporaryPath_(std::move(temporaryPath)), finalPath_(std::move(finalPath)), descriptor_(descriptor) {}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

void OutputFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            cannotWrite(*this, written < 0 ? errno : EIO);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::close() {
    if (descriptor_ < 0) {
        return;
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0 && errno != EINTR) {
        cannotWrite(*this, errno);
    }
}

FileSet::FileSet(fs::path directory) : directory_(std::move(directory)) {}

FileSet::~FileSet() {
    if (!committed_) {
        for (const auto& file : files_) {
            std::error_code ignored;
            fs::remove(file->temporaryPath(), ignored);
        }
    }
}

OutputFile& FileSet::add(const std::string& fileName) {
    // Hidden and unique, in the target directory so that the rename stays on
    // one file system. The mode follows the umask like any other new file.
    for (unsigned attempt = 0;; ++attempt) {
        fs::path path =
            directory_ / ("." + fileName + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            files_.push_back(std::make_unique<OutputFile>(std::move(path), directory_ / fileName, descriptor));
            return *files_.back();
        }
        const int error = errno;
        if (error != EEXIST || attempt > 100) {
            const std::string where = directory_.empty() ? std::string(".") : directory_.string();
            throw FileSetError("cannot create a file in '" + where + "': " + errnoText(error), error,
                               directory_ / fileName);
        }
    }
}

void FileSet::commit() {
    for (const auto& file : files_) {
        file->close();
    }
    for (const auto& file : files_) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(file->finalPath(), error);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
            throw FileSetError("'" + file->finalPath().string() + "' exists and is not a file; nothing was replaced",
                               fs::is_directory(status) ? EISDIR : EEXIST, file->finalPath());
        }
    }
    for (const auto& file : files_) {
        std::error_code error;
        fs::rename(file->temporaryPath(), file->finalPath(), error);
        if (error) {
            throw FileSetError("cannot rename '" + file->temporaryPath().string() + "' to '" +
                                   file->finalPath().string() + "': " + error.message(),
                               error.value(), file->finalPath());
        }
    }
    committed_ = true;
}

std::vector<fs::path> FileSet::finalPaths() const {
    std::vector<fs::path> paths;
    for (const auto& file : files_) {
        paths.push_back(file->finalPath());
    }
    return paths;
}

}  // namespace KexRecording
