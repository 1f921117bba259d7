#pragma once
// A temporary folder for one test, removed afterwards; also the place for the program folder,
// the working folder and the desktop's XDG folders of that test.
#include <QTemporaryDir>
#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string path() const;                               // no trailing slash
    std::string file(const std::string &name) const;        // path + "/" + name
    void write(const std::string &name, const std::string &bytes) const;
    std::string read(const std::string &name) const;        // throws when missing

private:
    QTemporaryDir dir;
    QByteArray previousXdg[4];
};

std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &bytes);
