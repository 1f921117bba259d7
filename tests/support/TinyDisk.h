#pragma once
// A 64 KiB tmpfs mounted on a folder of its own, for the full-disk cases. Mounting needs root;
// where it is refused, mounted() is false and the test skips.
#include <string>

class TinyDisk {
public:
    explicit TinyDisk(const std::string &folder);
    ~TinyDisk();
    TinyDisk(const TinyDisk &) = delete;
    TinyDisk &operator=(const TinyDisk &) = delete;
    bool mounted() const { return isMounted; }
    std::string file(const std::string &name) const { return folder + "/" + name; }
    // Fills the disk, then gives back this many bytes, so that a longer write stops midway.
    void FillLeaving(size_t bytes) const;

private:
    std::string folder;
    bool isMounted = false;
};
