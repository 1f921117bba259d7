#include "platform/TextFile.h"

#include "platform/CodePage.h"
#include "platform/DeckText.h"
#include "platform/Exceptions.h"
#include "platform/PosixFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

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
    if (DeckKindOf(content) == DeckKind::Utf8 && end >= Utf8DeckMark.size())
        markSize = position = Utf8DeckMark.size();
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

FileVersion VersionOf(const std::string &path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return {};
    const auto nanoseconds = [](const timespec &t) { return (unsigned long long)t.tv_sec * 1000000000ull + (unsigned long long)t.tv_nsec; };
    return {(unsigned long long)info.st_dev, (unsigned long long)info.st_ino, (unsigned long long)info.st_size,
            nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
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
