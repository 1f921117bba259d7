#pragma once
// Small helpers over Linux file descriptors, shared by the file readers and writers of this
// folder: a descriptor closed when it goes out of scope, whole reads and writes that report
// every failure, and the folder of a path.
#include <string>
#include <sys/types.h>

// An open file, closed when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(int descriptor = -1) : fd(descriptor) {}
    ~FileHandle();
    FileHandle(const FileHandle &) = delete;
    FileHandle(FileHandle &&other) noexcept : fd(other.fd) { other.fd = -1; }
    FileHandle &operator=(FileHandle &&other) noexcept;
    int get() const { return fd; }
    // The caller keeps the file open from now on.
    void Release() { fd = -1; }
    explicit operator bool() const { return fd >= 0; }
    // Closes now, reporting a failure (data that did not reach the disk) as EInOutError.
    void Close();

private:
    int fd;
};

// open() with O_CLOEXEC; an empty path is "not found".
int OpenFile(const std::string &path, int flags, mode_t mode = 0666);

// Every byte written, or EInOutError.
void WriteAll(int fd, const std::string &bytes);
void WriteAll(int fd, const char *data, size_t size);
// Everything from the current position to the end, or EInOutError.
std::string ReadAll(int fd);

// The folder of a path ("." when it names none).
std::string FolderOf(const std::string &path);
// Makes the names in a folder (a new file, a rename) last across a power cut.
void SyncFolder(const std::string &folder);
