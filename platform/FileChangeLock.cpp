#include "platform/FileChangeLock.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/InPlaceRewrite.h"
#include "platform/TextFile.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr auto LockWaitLimit = std::chrono::seconds(10);

// True once the lock is held on the file the path names now: a writer that held the lock
// before may have renamed a new file over the one we opened.
bool LockedCurrentFile(int fd, const std::string &path)
{
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}
} // namespace

FileChangeLock::FileChangeLock(const std::string &path)
{
    const auto deadline = std::chrono::steady_clock::now() + LockWaitLimit;
    for (;;) {
        file = FileHandle(OpenFileForReading(path));
        if (!file)
            RaiseLastInOutError();
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            if (LockedCurrentFile(file.get(), path))
                break;
            continue;   // replaced meanwhile: lock the new file
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            RaiseLastInOutError();
        if (std::chrono::steady_clock::now() > deadline)
            throw Exception("The file " + DisplayPath(path) + " is being changed by another program. Please try again.");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FinishInterruptedRewrite(path);
}

std::string FileChangeLock::Content() const
{
    if (::lseek(file.get(), 0, SEEK_SET) < 0)
        RaiseLastInOutError();
    return ReadAll(file.get());
}
