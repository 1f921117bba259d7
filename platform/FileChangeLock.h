#pragma once
// Changes of a file made by reading it, changing the content and writing it whole again, one
// after the other: each holds an advisory lock (flock) on the file from the read to the end of
// the write, so that two windows or programs changing the same file never lose each other's
// change. The lock follows the file across the rename that replaces it.
#include "platform/PosixFile.h"

#include <string>

class FileChangeLock {
public:
    // Opens the file for reading and waits for the lock, ten seconds at most. A write over the
    // file that was cut short is finished first (InPlaceRewrite.h). Throws EInOutError when the
    // file cannot be opened, Exception when another program keeps it locked.
    explicit FileChangeLock(const std::string &path);
    // The content as it is now, read through the locked file.
    std::string Content() const;

private:
    FileHandle file;
};
