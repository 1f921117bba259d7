#include "platform/InPlaceRewrite.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/ProgramFolder.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <unistd.h>

namespace {

// A journal: this mark, the file's birth time, the path it was written through, the new
// content and its checksum, the numbers as 8 bytes, lowest first.
constexpr std::string_view JournalMark = "Glossadrome rewrite journal 1\n";

// The birth time of a file, where the file system keeps one (0 elsewhere): it tells a file
// apart from a later one that reuses its inode.
uint64_t BirthOf(const std::string &path)
{
    struct statx extended {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) != 0 || !(extended.stx_mask & STATX_BTIME))
        return 0;
    return uint64_t(extended.stx_btime.tv_sec) * 1000000000u + extended.stx_btime.tv_nsec;
}

// Device and inode name the journal of a file.
std::string JournalPath(const struct stat &info)
{
    char name[64];
    std::snprintf(name, sizeof name, "/%llx-%llx.journal", (unsigned long long)info.st_dev,
                  (unsigned long long)info.st_ino);
    return RewriteJournalFolder() + name;
}

uint64_t Checksum(std::string_view bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;   // FNV-1a
    for (const char c : bytes)
        hash = (hash ^ uint8_t(c)) * 0x100000001b3ull;
    return hash;
}

void PutNumber(std::string &out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out += char(uint8_t(value >> (8 * i)));
}

bool TakeNumber(std::string_view &in, uint64_t &value)
{
    if (in.size() < 8)
        return false;
    value = 0;
    for (int i = 0; i < 8; ++i)
        value |= uint64_t(uint8_t(in[size_t(i)])) << (8 * i);
    in.remove_prefix(8);
    return true;
}

bool TakeText(std::string_view &in, std::string_view &text)
{
    uint64_t size = 0;
    if (!TakeNumber(in, size) || size > in.size())
        return false;
    text = in.substr(0, size);
    in.remove_prefix(size);
    return true;
}

struct Journal {
    uint64_t born = 0;
    std::string_view path, content;
};

std::string JournalBytes(uint64_t born, const std::string &path, const std::string &content)
{
    std::string out(JournalMark);
    PutNumber(out, born);
    PutNumber(out, path.size());
    out += path;
    PutNumber(out, content.size());
    out += content;
    PutNumber(out, Checksum(content));
    return out;
}

bool ParseJournal(std::string_view in, Journal &journal)
{
    uint64_t checksum = 0;
    if (in.substr(0, JournalMark.size()) != JournalMark)
        return false;
    in.remove_prefix(JournalMark.size());
    return TakeNumber(in, journal.born) && TakeText(in, journal.path) && TakeText(in, journal.content) &&
           TakeNumber(in, checksum) && in.empty() && checksum == Checksum(journal.content);
}

// Room for the new content is reserved first, so that a full disk stops the write before a
// byte of the file has changed.
void ReserveRoom(int fd, size_t size)
{
    if (size > 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS && errno != EINVAL)
        RaiseLastInOutError();
}

// The new content over the old, and only then the file cut to its new length, synced.
void WriteOver(int fd, std::string_view bytes)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        RaiseLastInOutError();
    WriteAll(fd, bytes.data(), bytes.size());
    if (::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0)
        RaiseLastInOutError();
}

// The journal is written under a temporary name, synced, and only then given its own name: a
// journal found under its name is always complete.
void KeepJournal(const std::string &journal, const std::string &content)
{
    const std::string folder = RewriteJournalFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string temporary = folder + "/.journal.XXXXXX";
    FileHandle fresh(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fresh) {
        if (errno == ENOSPC || errno == EDQUOT)
            RaiseLastInOutError();
        throw EFCreateError("Cannot create file " + DisplayPath(journal));
    }
    try {
        WriteAll(fresh.get(), content);
        if (::fsync(fresh.get()) != 0)
            RaiseLastInOutError();
        fresh.Close();
        if (::rename(temporary.c_str(), journal.c_str()) != 0)
            RaiseLastInOutError();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    SyncFolder(folder);
}

void RemoveJournal(const std::string &journal)
{
    if (::unlink(journal.c_str()) == 0)
        SyncFolder(RewriteJournalFolder());
}

} // namespace

std::string RewriteJournalFolder() { return UserDataFolder() + "/glossadrome/journal"; }

void RewriteInPlace(FileHandle &file, const struct stat &info, const std::string &path, const std::string &bytes)
{
    ReserveRoom(file.get(), bytes.size());
    const std::string journal = JournalPath(info);
    KeepJournal(journal, JournalBytes(BirthOf(path), path, bytes));
    // From here on a failure leaves the journal, so that the next open finishes the write.
    WriteOver(file.get(), bytes);
    file.Close();
    RemoveJournal(journal);
}

void FinishInterruptedRewrite(const std::string &path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return;
    const std::string journalPath = JournalPath(info);
    std::string bytes;
    {
        FileHandle journal(OpenFile(journalPath, O_RDONLY | O_NONBLOCK));
        if (!journal)
            return;
        bytes = ReadAll(journal.get());
    }
    Journal journal;
    if (!ParseJournal(bytes, journal)) {
        RemoveJournal(journalPath);
        return;
    }
    // The journal must name this very file: the name it was written through still leads to it,
    // and it was born when that file was.
    struct stat named {};
    const std::string recorded(journal.path);
    if (::stat(recorded.c_str(), &named) != 0 || named.st_dev != info.st_dev || named.st_ino != info.st_ino ||
        journal.born != BirthOf(path))
        return;
    FileHandle file(OpenFile(path, O_WRONLY | O_NONBLOCK));
    if (!file)
        RaiseLastInOutError();
    ReserveRoom(file.get(), journal.content.size());
    WriteOver(file.get(), journal.content);
    file.Close();
    RemoveJournal(journalPath);
}

void DiscardRewriteJournal(const struct stat &info)
{
    const std::string journal = JournalPath(info);
    if (::access(journal.c_str(), F_OK) == 0)
        RemoveJournal(journal);
}
