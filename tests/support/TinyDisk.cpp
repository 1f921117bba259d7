#include "support/TinyDisk.h"

#include <QDir>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

TinyDisk::TinyDisk(const std::string &where) : folder(where)
{
    QDir().mkpath(QString::fromStdString(folder));
    isMounted = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
}

TinyDisk::~TinyDisk()
{
    if (isMounted)
        ::umount2(folder.c_str(), MNT_DETACH);
}

void TinyDisk::FillLeaving(size_t bytes) const
{
    const std::string filler = file(".filler");
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string block(4096, 'f');
    off_t size = 0;
    for (ssize_t written; (written = ::write(fd, block.data(), block.size())) > 0;)
        size += written;
    ::ftruncate(fd, size > off_t(bytes) ? size - off_t(bytes) : 0);
    ::close(fd);
}
