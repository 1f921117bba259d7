#include "support/TempFolder.h"

#include <QDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
const char *const xdgNames[4] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"};
}

TempFolder::TempFolder()
{
    if (!dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    // Qt cannot remove names that are not UTF-8 (tests make Latin-1 ones), so the destructor
    // removes the folder by its bytes.
    dir.setAutoRemove(false);
    // The desktop's per-user folders live inside the test's own folder.
    for (int i = 0; i < 4; ++i) {
        previousXdg[i] = qgetenv(xdgNames[i]);
        const QString sub = dir.path() + QStringLiteral("/xdg/") + QString::fromLatin1(xdgNames[i]);
        QDir().mkpath(sub);
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(xdgNames[i], sub.toLocal8Bit());
    }
}

TempFolder::~TempFolder()
{
    for (int i = 0; i < 4; ++i) {
        if (previousXdg[i].isEmpty())
            qunsetenv(xdgNames[i]);
        else
            qputenv(xdgNames[i], previousXdg[i]);
    }
    std::error_code ignored;
    std::filesystem::remove_all(path(), ignored);
}

std::string TempFolder::path() const { return dir.path().toStdString(); }

std::string TempFolder::file(const std::string &name) const { return path() + "/" + name; }

void TempFolder::write(const std::string &name, const std::string &bytes) const { WriteWholeFile(file(name), bytes); }

std::string TempFolder::read(const std::string &name) const { return ReadWholeFile(file(name)); }

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
