#include "support/ReadOnlyFolder.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

ReadOnlyFolder::ReadOnlyFolder(std::string folder) : path(std::move(folder))
{
    if (::geteuid() != 0) {
        if (::chmod(path.c_str(), 0555) == 0)
            how = How::Permissions;
    } else if (::mount("tmpfs", path.c_str(), "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV, "size=64k") == 0) {
        how = How::Mount;
    }
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    if (how == How::Permissions)
        ::chmod(path.c_str(), 0755);
    else if (how == How::Mount)
        ::umount2(path.c_str(), MNT_DETACH);
}
