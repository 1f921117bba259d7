#include "platform/PosixFile.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

FileHandle::~FileHandle()
{
    if (fd >= 0)
        ::close(fd);
}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    std::swap(fd, other.fd);
    return *this;
}

void FileHandle::Close()
{
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0)
        RaiseLastInOutError();
}

int OpenFile(const std::string &path, int flags, mode_t mode)
{
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

void WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastInOutError();
        }
        data += written;
        size -= size_t(written);
    }
}

void WriteAll(int fd, const std::string &bytes) { WriteAll(fd, bytes.data(), bytes.size()); }

std::string ReadAll(int fd)
{
    std::string content;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0)
        content.reserve(size_t(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastInOutError();
        }
        if (got == 0)
            break;
        content.append(chunk, size_t(got));
    }
    return content;
}

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
