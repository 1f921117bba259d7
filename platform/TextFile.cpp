#include "platform/TextFile.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NativePath(const std::string &path) { return QFile::encodeName(PathFromAnsi(path)).toStdString(); }

int OpenOrThrow(const std::string &path, int flags, mode_t mode = 0666)
{
    if (path.empty())
        throw EInOutError(ENOENT);
    const int fd = ::open(NativePath(path).c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0)
        RaiseLastInOutError();
    return fd;
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
            const int error = errno;
            ::close(fd);
            throw EInOutError(error);
        }
        if (got == 0)
            break;
        content.append(chunk, size_t(got));
    }
    return content;
}

} // namespace

std::string ReadFileBytes(const std::string &path)
{
    const int fd = OpenOrThrow(path, O_RDONLY);
    std::string content = ReadAll(fd);
    ::close(fd);
    return content;
}

TextLineReader::TextLineReader(const std::string &path) : content(ReadFileBytes(path))
{
    const size_t eof = content.find('\x1A');
    end = eof == std::string::npos ? content.size() : eof;
}

size_t TextLineReader::LineEnd() const
{
    const void *cr = std::memchr(content.data() + position, '\r', end - position);
    return cr ? size_t(static_cast<const char *>(cr) - content.data()) : end;
}

std::string TextLineReader::ReadLine()
{
    if (AtEnd())
        return {};
    const size_t stop = LineEnd();
    std::string line = content.substr(position, stop - position);
    position = stop;
    SkipLine();
    return line;
}

void TextLineReader::SkipLine()
{
    if (AtEnd())
        return;
    position = LineEnd();
    if (position < end && content[position] == '\r') {
        ++position;
        if (position < end && content[position] == '\n')
            ++position;
    }
}

TextLineWriter::TextLineWriter(const std::string &path, Mode mode)
{
    if (mode == Rewrite) {
        fd = OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC);
        return;
    }
    fd = OpenOrThrow(path, O_RDWR | O_CREAT);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size < 0) {
        const int error = errno;
        ::close(fd);
        throw EInOutError(error);
    }
    // A DOS end-of-file mark at the very end would hide what we append: drop it. A last line
    // without its line end gets one, so the new line does not run into it.
    if (size > 0) {
        char last[2] = {0, 0};
        const off_t from = size >= 2 ? size - 2 : 0;
        const ssize_t got = ::pread(fd, last, size_t(size - from), from);
        const char lastByte = got > 0 ? last[got - 1] : 0;
        if (lastByte == '\x1A') {
            if (::ftruncate(fd, size - 1) != 0 || ::lseek(fd, 0, SEEK_END) < 0) {
                const int error = errno;
                ::close(fd);
                throw EInOutError(error);
            }
            // Look again at what now ends the file.
            char before = 0;
            if (size - 1 > 0 && ::pread(fd, &before, 1, size - 2) == 1 && before != '\n' && before != '\r')
                buffer = "\r\n";
        } else if (lastByte != '\n' && lastByte != '\r') {
            buffer = "\r\n";
        } else if (lastByte == '\n' && !(got == 2 && last[0] == '\r')) {
            // A lone LF is line text, not a line end.
            buffer = "\r\n";
        }
    }
}

TextLineWriter::~TextLineWriter()
{
    if (fd >= 0)
        ::close(fd);
}

void TextLineWriter::WriteLine(const std::string &line)
{
    buffer += line;
    buffer += "\r\n";
    if (buffer.size() >= 65536)
        Flush();
}

void TextLineWriter::Flush()
{
    WriteAll(fd, buffer.data(), buffer.size());
    buffer.clear();
}

void TextLineWriter::Close()
{
    if (fd < 0)
        return;
    Flush();
    const int result = ::close(fd);
    fd = -1;
    if (result != 0)
        RaiseLastInOutError();
}

void CreateEmptyFile(const std::string &path)
{
    const int fd = OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (::close(fd) != 0)
        RaiseLastInOutError();
}

bool FileCanBeRead(const std::string &path)
{
    if (path.empty())
        return false;
    const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return regular;
}

void ReplaceFileContent(const std::string &path, const std::string &bytes)
{
    const std::string native = NativePath(path);
    struct stat info {};
    const bool exists = ::stat(native.c_str(), &info) == 0;
    std::string temporary = native + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        // The folder does not take new files: writing in place is the only way left.
        const int inPlace = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (inPlace < 0)
            throw EFCreateError("Cannot create file " + path);
        try {
            WriteAll(inPlace, bytes.data(), bytes.size());
        } catch (...) {
            ::close(inPlace);
            throw;
        }
        if (::close(inPlace) != 0)
            RaiseLastInOutError();
        return;
    }
    try {
        WriteAll(fd, bytes.data(), bytes.size());
        if (::fsync(fd) != 0)
            RaiseLastInOutError();
        if (exists) {
            ::fchmod(fd, info.st_mode & 07777);
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, 0666 & ~mask);
        }
        if (::close(fd) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw EInOutError(error);
        }
    } catch (const EInOutError &) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    // Rename over the target itself, not over a link to it.
    char resolved[PATH_MAX];
    const std::string target = exists && ::realpath(native.c_str(), resolved) ? std::string(resolved) : native;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw EInOutError(error);
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
        throw EFOpenError("Cannot open file " + path);
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
