#include "platform/FileTypeRegistration.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/FileReplacement.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramIcons.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

const char *const DeckMimeType = "application/x-glossadrome-deck";

namespace {

const char *const IconName = "application-x-glossadrome-deck";
const int RefreshTimeLimitMs = 10000;

void WriteFile(const std::string &path, const QByteArray &content)
{
    const QString name = PathFromNative(path);
    QDir().mkpath(QFileInfo(name).absolutePath());
    try {
        ReplaceFileContent(path, content.toStdString());
    } catch (const Exception &) {
        throw Exception("Failed to set data for '" + DisplayPath(path) + "'");
    }
}

// Quotes a path for the Exec key of a desktop entry.
QByteArray DesktopQuoted(const QString &path)
{
    QString quoted = path;
    for (const char *special : {"\\", "\"", "`", "$"})
        quoted.replace(QLatin1String(special), QLatin1String("\\") + QLatin1String(special));
    quoted.replace(QLatin1String("%"), QLatin1String("%%"));
    return "\"" + quoted.toUtf8() + "\"";
}

// Runs a desktop tool over the folder and waits for it. A tool that hangs is stopped after a
// short while: it must never go on writing after the program (or a test) is done with the folder.
void RefreshDatabase(const char *tool, const std::string &folder)
{
    const QString program = QStandardPaths::findExecutable(QLatin1String(tool));
    if (program.isEmpty())
        return;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {PathFromNative(folder)});
    if (process.waitForStarted() && !process.waitForFinished(RefreshTimeLimitMs)) {
        process.kill();
        process.waitForFinished();
    }
}

} // namespace

std::string FileTypeRegistration::MimePackagePath() const { return dataFolder + "/mime/packages/glossadrome.xml"; }
std::string FileTypeRegistration::DesktopEntryPath() const { return dataFolder + "/applications/glossadrome.desktop"; }
std::string FileTypeRegistration::DeckIconPath() const
{
    return dataFolder + "/icons/hicolor/48x48/mimetypes/" + IconName + ".png";
}
std::string FileTypeRegistration::ProgramIconPath() const { return dataFolder + "/icons/hicolor/48x48/apps/glossadrome.png"; }

bool FileTypeRegistration::Register() const
{
    if (FileCanBeRead(MimePackagePath()) && FileCanBeRead(DesktopEntryPath()))
        return false;

    WriteFile(MimePackagePath(),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                         "  <mime-type type=\"") + DeckMimeType + "\">\n"
                         "    <comment>Glossadrome Deck</comment>\n"
                         "    <icon name=\"" + IconName + "\"/>\n"
                         "    <glob pattern=\"*.gsd\"/>\n"
                         "  </mime-type>\n"
                         "</mime-info>\n");
    WriteFile(DesktopEntryPath(),
              QByteArray("[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Glossadrome\n"
                         "Comment=Learn vocabulary with flash cards\n"
                         "Exec=") + DesktopQuoted(PathFromNative(programPath)) + " %f\n"
                         "Icon=glossadrome\n"
                         "MimeType=" + DeckMimeType + ";\n"
                         "Categories=Education;Languages;\n"
                         "Terminal=false\n");
    WriteFile(DeckIconPath(), PngBytes(DeckFileIcon(48)));
    WriteFile(ProgramIconPath(), PngBytes(ProgramIcon(48)));

    RefreshDatabase("update-mime-database", dataFolder + "/mime");
    RefreshDatabase("update-desktop-database", dataFolder + "/applications");
    return true;
}

FileTypeRegistration CurrentFileTypeRegistration()
{
    return {UserDataFolder(), ProgramFilePath()};
}
