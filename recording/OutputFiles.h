// The files of one recording, written under hidden temporary names in their
// target directory and renamed only when every one of them is complete, so
// that they appear together or not at all. Temporaries left by a process that
// was killed are removed by the next set that writes the same names.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace KexRecording {

// A file that cannot be created, written or put in place. The message names
// the file and the operating system's reason.
class FileSetError : public std::runtime_error {
public:
    FileSetError(const std::string& message, int error, std::filesystem::path path)
        : std::runtime_error(message), error_(error), path_(std::move(path)) {}

    int error() const { return error_; }                         // errno
    const std::filesystem::path& path() const { return path_; }  // the final name

private:
    int error_;
    std::filesystem::path path_;
};

// The longest file name a set writes: its temporary, "." + name + ".tmp-" +
// process id + "-" + number, must stay within the 255 bytes of a file name.
constexpr std::size_t kMaxFileNameBytes = 230;

// A file of a committed set.
struct WrittenFile {
    std::filesystem::path path;
    bool replaced = false;  // a file of that name was there before
};

// One temporary file of a set, open for writing from the start.
class OutputFile {
public:
    OutputFile(std::filesystem::path temporaryPath, std::filesystem::path finalPath, int descriptor);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    OutputFile(OutputFile&&) = delete;
    OutputFile& operator=(OutputFile&&) = delete;

    void write(const char* data, std::size_t size);  // throws FileSetError
    void write(const std::string& text) { write(text.data(), text.size()); }
    void close();  // throws FileSetError

    // Where to write through another channel (a child process).
    const std::filesystem::path& temporaryPath() const { return temporaryPath_; }
    const std::filesystem::path& finalPath() const { return finalPath_; }

private:
    std::filesystem::path temporaryPath_;
    std::filesystem::path finalPath_;
    int descriptor_;
    int signalSlot_;  // where the signal handler finds the temporary, -1 for nowhere
};

// From now on SIGINT, SIGTERM and SIGHUP (unless ignored) remove the
// temporaries of every unfinished set and then end the process by the
// signal's default action, so that the shell sees what ended it. For programs
// only: a host such as the Python interpreter keeps its own handlers.
void removeTemporariesOnSignals();

class FileSet {
public:
    // An empty directory means the working directory, with plain file names.
    explicit FileSet(std::filesystem::path directory);
    // Removes every temporary file of a set that was not committed.
    ~FileSet();
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;
    FileSet(FileSet&&) = delete;
    FileSet& operator=(FileSet&&) = delete;

    // A new empty temporary file that becomes `fileName` on commit. A file of
    // that name that the user made read-only (no write permission) is never
    // replaced: both add and commit throw for it.
    OutputFile& add(const std::string& fileName);
    // Closes the files and renames every temporary to its final name; what
    // would stop a rename halfway is found before the first one.
    void commit();

    // In the order the files were added.
    const std::vector<WrittenFile>& written() const { return written_; }

private:
    std::filesystem::path directory_;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::vector<WrittenFile> written_;
    bool committed_ = false;
};

}  // namespace KexRecording
