#include "platform/ProgramFolder.h"

#include "platform/CodePage.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace {
std::string &FolderOverride()
{
    static std::string folder;
    return folder;
}

bool FolderIsWritable(const std::string &folder)
{
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string InWritableFolder(const std::string &name, QStandardPaths::StandardLocation fallback)
{
    const std::string folder = ProgramFolder();
    if (FolderIsWritable(folder))
        return folder + "/" + name;
    QString userFolder = QStandardPaths::writableLocation(fallback);
    QDir().mkpath(userFolder);
    return NativePath(userFolder) + "/" + name;
}
} // namespace

std::string ProgramFilePath() { return NativePath(QCoreApplication::applicationFilePath()); }

std::string ProgramFolder()
{
    if (!FolderOverride().empty())
        return FolderOverride();
    return NativePath(QCoreApplication::applicationDirPath());
}

void SetProgramFolderForTesting(const std::string &folder) { FolderOverride() = folder; }

std::string ScratchFilePath() { return InWritableFolder("tempfile.gsd", QStandardPaths::AppDataLocation); }

std::string SettingsFilePath() { return InWritableFolder("glossad.ini", QStandardPaths::AppConfigLocation); }

std::string UserDataFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return NativePath(data);
}

std::string ExtractFilePath(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
