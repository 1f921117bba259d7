#pragma once
// Makes a folder unwritable the way an ordinary user meets it: through its permissions when the
// tests run as an ordinary user, through a read-only tmpfs mounted over it when they run as root
// (root writes whatever the permissions say). When neither works, Active() is false and the test
// skips. The folder is given back on destruction.
#include <string>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    bool Active() const { return how != How::None; }

private:
    enum class How { None, Permissions, Mount } how = How::None;
    std::string path;
};
