#include "platform/FileReplacement.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/InPlaceRewrite.h"
#include "platform/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <random>

namespace {

[[noreturn]] void CannotCreate(const std::string &path)
{
    throw EFCreateError("Cannot create file " + DisplayPath(path));
}

// A hidden name beside the file, so that a crash never leaves anything that looks like a Deck.
std::string TemporaryPattern(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name) + "." + path.substr(name) + ".XXXXXX";
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
        // A rename would split a file with several names from the others.
        if (info.st_nlink > 1) {
            RewriteInPlace(old, info, target, bytes);
            return;
        }
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
            RewriteInPlace(old, info, target, bytes);
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
        SyncFolder(FolderOf(target));
        if (exists)
            DiscardRewriteJournal(info);
        return;
    }
    const int error = errno;
    ::unlink(temporary.c_str());
    // A sticky folder lets us write another user's file but not replace it.
    if ((error != EACCES && error != EPERM) || !old)
        throw EInOutError(error);
    RewriteInPlace(old, info, target, bytes);
}

