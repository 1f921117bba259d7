#include "platform/TextFile.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <random>
#include <utility>

namespace {

// An open file, closed when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(int descriptor = -1) : fd(descriptor) {}
    ~FileHandle()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(FileHandle &&other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    int get() const { return fd; }
    // The caller keeps the file open from now on.
    void Release() { fd = -1; }
    explicit operator bool() const { return fd >= 0; }
    // Closes now, reporting a failure: data that did not reach the disk.
    void Close()
    {
        const int closing = fd;
        fd = -1;
        if (::close(closing) != 0)
            RaiseLastInOutError();
    }

private:
    int fd;
};

int OpenFile(const std::string &path, int flags, mode_t mode = 0666)
{
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

[[noreturn]] void CannotCreate(const std::string &path)
{
    throw EFCreateError("Cannot create file " + DisplayPath(path));
}

void WriteAll(int fd, const std::string &bytes)
{
    const char *data = bytes.data();
    size_t size = bytes.size();
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

std::string ReadAll(int fd)
{
    std::string content;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0)
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

// A hidden name beside the file, so that a crash never leaves anything that looks like a Deck.
std::string TemporaryPattern(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name) + "." + path.substr(name) + ".XXXXXX";
}

// A rename is lasting only once the folder that holds it reached the disk.
void SyncFolder(const std::string &file)
{
    const int folder = ::open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

// The replacing file takes over the old one's extended attributes, its access control list
// among them, so that a rewrite does not change who may read the Deck. What the file system or
// the user's rights refuse is left out: the content matters more.
void CopyExtendedAttributes(int from, int to)
{
    const ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0)
        return;
    std::string names(size_t(size), '\0');
    const ssize_t listed = ::flistxattr(from, names.data(), names.size());
    if (listed <= 0)
        return;
    names.resize(size_t(listed));
    for (size_t start = 0, end; start < names.size(); start = end + 1) {
        end = std::min(names.find('\0', start), names.size());
        const std::string name = names.substr(start, end - start);
        const ssize_t length = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (length < 0)
            continue;
        std::string value(size_t(length), '\0');
        const ssize_t got = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (got >= 0)
            ::fsetxattr(to, name.c_str(), value.data(), size_t(got), 0);
    }
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The folder takes no new files: the new content goes over the old, and only then is the file
// cut to its new length, so it never holds less than the old content until all is written.
void WriteInPlace(FileHandle &file, const std::string &bytes)
{
    const int fd = file.get();
    // Room is reserved first, so that a full disk stops us before a byte has changed.
    if (!bytes.empty() && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
        RaiseLastInOutError();
    if (::lseek(fd, 0, SEEK_SET) < 0)
        RaiseLastInOutError();
    WriteAll(fd, bytes);
    if (::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0)
        RaiseLastInOutError();
    file.Close();
}

// The new content, with the old file's owner, mode and attributes, synced to the disk.
void FillReplacement(int fd, const std::string &bytes, const FileHandle &old, const struct stat &info)
{
    WriteAll(fd, bytes);
    if (old && ::fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Only root may give a file away; an ordinary user's file stays theirs anyway.
    }
    ::fchmod(fd, old ? info.st_mode & 07777 : NewFileMode());
    if (old)
        CopyExtendedAttributes(old.get(), fd);
    if (::fsync(fd) != 0)
        RaiseLastInOutError();
}

// Gives a finished file without a name the pattern's name, its six X made random as mkstemp
// makes them. On success the pattern holds the name.
bool NameUnnamedFile(int fd, std::string &pattern)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937 random(std::random_device{}());
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    std::string name = pattern;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = name.size() - 6; i < name.size(); ++i)
            name[i] = letters[random() % (sizeof letters - 1)];
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            pattern = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// The replacement is written into a file that has no name until it is complete, so that a
// kill or a power cut while it is written leaves nothing beside the Deck. False where the file
// system or a missing /proc does not allow it; the caller then writes a named file instead.
bool ReplacementWithoutName(const std::string &target, const std::string &bytes, const FileHandle &old,
                            const struct stat &info, std::string &pattern)
{
    FileHandle fresh(::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!fresh)
        return false;
    FillReplacement(fresh.get(), bytes, old, info);
    if (!NameUnnamedFile(fresh.get(), pattern))
        return false;
    try {
        fresh.Close();
    } catch (...) {
        ::unlink(pattern.c_str());
        throw;
    }
    return true;
}

} // namespace

int OpenFileForReading(const std::string &path)
{
    FileHandle file(OpenFile(path, O_RDONLY | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        file = FileHandle();
        errno = error;
        return -1;
    }
    const int fd = file.get();
    file.Release();
    return fd;
}

std::string ReadFileBytes(const std::string &path)
{
    FileHandle file(OpenFileForReading(path));
    if (!file)
        RaiseLastInOutError();
    return ReadAll(file.get());
}

TextLineReader::TextLineReader(const std::string &path) : content(ReadFileBytes(path)) { FindEnd(); }

TextLineReader TextLineReader::OfBytes(std::string bytes)
{
    TextLineReader reader;
    reader.content = std::move(bytes);
    reader.FindEnd();
    return reader;
}

void TextLineReader::FindEnd()
{
    const size_t eof = content.find('\x1A');
    end = eof == std::string::npos ? content.size() : eof;
}

std::string_view TextLineReader::ReadLineView()
{
    if (AtEnd())
        return {};
    const char *data = content.data();
    const void *cr = std::memchr(data + position, '\r', end - position);
    const size_t stop = cr ? size_t(static_cast<const char *>(cr) - data) : end;
    const std::string_view line(data + position, stop - position);
    position = stop;
    if (position < end) {
        ++position;                              // the CR
        if (position < end && data[position] == '\n')
            ++position;
    }
    return line;
}

void CreateEmptyFile(const std::string &path)
{
    FileHandle file(OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC));
    if (!file)
        RaiseLastInOutError();
    file.Close();
}

bool FileCanBeRead(const std::string &path)
{
    const FileHandle file(OpenFileForReading(path));
    return bool(file);
}

bool FileExists(const std::string &path)
{
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

void ReplaceFileContent(const std::string &path, const std::string &bytes)
{
    if (path.empty())
        CannotCreate(path);
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    // Write beside the file itself, not beside a link to it: the rename then replaces the file.
    std::string target = path;
    char resolved[PATH_MAX];
    if (exists && ::realpath(path.c_str(), resolved))
        target = resolved;
    // A file the user may not write is never changed, however freely its folder takes renames.
    FileHandle old;
    if (exists) {
        old = FileHandle(OpenFile(target, O_WRONLY | O_NONBLOCK));
        if (!old || !S_ISREG(info.st_mode))
            CannotCreate(path);
    }
    std::string temporary = TemporaryPattern(target);
    if (!ReplacementWithoutName(target, bytes, old, info, temporary)) {
        FileHandle fresh(::mkostemp(temporary.data(), O_CLOEXEC));
        if (!fresh) {
            const int error = errno;
            if (error == ENOSPC || error == EDQUOT)
                throw EInOutError(error);
            if ((error != EACCES && error != EPERM) || !old)
                CannotCreate(path);
            WriteInPlace(old, bytes);
            return;
        }
        try {
            FillReplacement(fresh.get(), bytes, old, info);
            fresh.Close();
        } catch (...) {
            ::unlink(temporary.c_str());
            throw;
        }
    }
    if (::rename(temporary.c_str(), target.c_str()) == 0) {
        SyncFolder(target);
        return;
    }
    const int error = errno;
    ::unlink(temporary.c_str());
    // A sticky folder lets us write another user's file but not replace it.
    if ((error != EACCES && error != EPERM) || !old)
        throw EInOutError(error);
    WriteInPlace(old, bytes);
}

void AppendToFile(const std::string &path, const std::string &bytes)
{
    FileHandle file(OpenFile(path, O_WRONLY | O_APPEND | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0)
        RaiseLastInOutError();
    if (!S_ISREG(info.st_mode))
        throw EInOutError(EINVAL);
    try {
        WriteAll(file.get(), bytes);
        if (::fdatasync(file.get()) != 0)
            RaiseLastInOutError();
        file.Close();
    } catch (...) {
        // What did reach the file goes again, so that no part of the record stays behind.
        if (file)
            (void)::ftruncate(file.get(), info.st_size);
        else
            (void)::truncate(path.c_str(), info.st_size);
        throw;
    }
}

StringList SplitIntoLines(const std::string &text)
{
    StringList lines;
    size_t start = 0;
    const size_t size = text.size();
    while (start < size) {
        size_t stop = start;
        while (stop < size && text[stop] != '\r' && text[stop] != '\n')
            ++stop;
        lines.emplace_back(text, start, stop - start);
        if (stop < size && text[stop] == '\r')
            ++stop;
        if (stop < size && text[stop] == '\n')
            ++stop;
        start = stop;
    }
    return lines;
}

StringList LoadStringList(const std::string &path)
{
    try {
        return SplitIntoLines(ReadFileBytes(path));
    } catch (const EInOutError &) {
        throw EFOpenError("Cannot open file " + DisplayPath(path));
    }
}

void SaveStringList(const std::string &path, const StringList &lines)
{
    std::string bytes;
    size_t total = 0;
    for (const auto &line : lines)
        total += line.size() + 2;
    bytes.reserve(total);
    for (const auto &line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    ReplaceFileContent(path, bytes);
}
