#include "OutputFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <utility>

namespace KexRecording {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int error) { return std::generic_category().message(error); }

// The temporaries a signal handler removes: their names are prepared here when
// they are created, since a handler may only read memory and call unlink.
struct SignalSlot {
    std::atomic<bool> used{false};
    std::array<char, PATH_MAX> path{};
};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler reads it");
constexpr std::size_t kSignalSlots = 16;  // a recording has at most four files
std::array<SignalSlot, kSignalSlots> signalSlots;
std::mutex signalSlotsMutex;

int rememberForSignals(const fs::path& path) {
    const std::string& name = path.native();
    if (name.size() >= PATH_MAX) {
        return -1;
    }
    const std::lock_guard<std::mutex> lock(signalSlotsMutex);
    for (std::size_t k = 0; k < signalSlots.size(); ++k) {
        SignalSlot& slot = signalSlots[k];
        if (!slot.used.load()) {
            name.copy(slot.path.data(), name.size());
            slot.path[name.size()] = '\0';
            slot.used.store(true);
            return static_cast<int>(k);
        }
    }
    return -1;  // removed by the set alone, as without a handler
}

void forgetForSignals(int slot) {
    if (slot >= 0) {
        signalSlots[static_cast<std::size_t>(slot)].used.store(false);
    }
}

extern "C" void removeTemporariesAndEnd(int signal) {
    const int savedErrno = errno;
    for (const SignalSlot& slot : signalSlots) {
        if (slot.used.load()) {
            unlink(slot.path.data());
        }
    }
    errno = savedErrno;
    // Installed with SA_RESETHAND and SA_NODEFER: the default action ends the
    // process at once.
    raise(signal);
}

// A rename would replace the file whatever its permissions; a user who took
// them away (chmod a-w), or who may not write it, meant it to stay.
void refuseReadOnly(const fs::path& path, const fs::file_status& status) {
    constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (fs::is_regular_file(status) &&
        ((status.permissions() & kWrite) == fs::perms::none || (access(path.c_str(), W_OK) != 0 && errno == EACCES))) {
        throw FileSetError(
            "'" + path.string() + "' is read-only; nothing was replaced (make it writable or remove it first)", EACCES,
            path);
    }
}

// "." + fileName + ".tmp-" + the writer's process id + "-" + a number.
std::string temporaryPrefix(const std::string& fileName) { return "." + fileName + ".tmp-"; }

// The process id of a temporary of fileName, or 0 when the name is not one.
pid_t temporaryOwner(const std::string& name, const std::string& fileName) {
    const std::string prefix = temporaryPrefix(fileName);
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const char* const digits = name.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    const long owner = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || errno != 0 || owner <= 0 || owner > INT_MAX) {
        return 0;
    }
    for (const char* rest = end + 1; *rest != '\0'; ++rest) {
        if (*rest < '0' || *rest > '9') {
            return 0;
        }
    }
    return static_cast<pid_t>(owner);
}

// Temporaries of fileName whose writer no longer runs: a run that was killed
// (SIGKILL, a power cut) leaves them, and nobody else would ever remove them.
void removeStaleTemporaries(const fs::path& directory, const std::string& fileName) {
    std::error_code error;
    for (fs::directory_iterator entry(directory.empty() ? fs::path(".") : directory, error), end;
         !error && entry != end; entry.increment(error)) {
        const pid_t owner = temporaryOwner(entry->path().filename().string(), fileName);
        if (owner != 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove(entry->path(), ignored);
        }
    }
}

[[noreturn]] void cannotWrite(const OutputFile& file, int error) {
    throw FileSetError("cannot write '" + file.temporaryPath().string() + "': " + errnoText(error), error,
                       file.finalPath());
}

}  // namespace

OutputFile::OutputFile(fs::path temporaryPath, fs::path finalPath, int descriptor)
    : temporaryPath_(std::move(temporaryPath)),
      finalPath_(std::move(finalPath)),
      descriptor_(descriptor),
      signalSlot_(rememberForSignals(temporaryPath_)) {}

OutputFile::~OutputFile() {
    forgetForSignals(signalSlot_);
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
    // Before anything is written, and again at the commit.
    std::error_code ignored;
    refuseReadOnly(directory_ / fileName, fs::symlink_status(directory_ / fileName, ignored));
    removeStaleTemporaries(directory_, fileName);
    // Hidden and unique, in the target directory so that the rename stays on
    // one file system. The mode follows the umask like any other new file.
    for (unsigned attempt = 0;; ++attempt) {
        fs::path path =
            directory_ / (temporaryPrefix(fileName) + std::to_string(getpid()) + "-" + std::to_string(attempt));
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
    std::vector<WrittenFile> written;
    for (const auto& file : files_) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(file->finalPath(), error);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
            throw FileSetError("'" + file->finalPath().string() + "' exists and is not a file; nothing was replaced",
                               fs::is_directory(status) ? EISDIR : EEXIST, file->finalPath());
        }
        refuseReadOnly(file->finalPath(), status);
        written.push_back({file->finalPath(), fs::exists(status)});
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
    written_ = std::move(written);
    committed_ = true;
}

void removeTemporariesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue;  // nohup: the signal stays ignored
        }
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace KexRecording
