// Whole files written on a full disk: the tool's outputs and the desktop entries of the file-type
// registration either replace the old file completely or leave it as it was, and say so.
#include "platform/FileTypeRegistration.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

std::string Gif() { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/gif/real/hat.gif"; }

struct ToolRun {
    int code;
    std::string errors;
};

ToolRun Glossgif(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/glossgif", arguments);
    tool.waitForFinished(120000);
    return {tool.exitCode(), tool.readAllStandardError().toStdString()};
}

} // namespace

TEST(WholeFileWrites, TheToolsOutputsOnAFullDiskLeaveTheOldFile)
{
    TempFolder folder;
    TinyDisk disk(folder.file("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const std::string out = disk.file("out.gif"), old(60000, 'o');
    WriteWholeFile(out, old);
    disk.FillLeaving(4096);
    const QString in = QString::fromStdString(Gif()), target = QString::fromStdString(out);
    for (const QStringList &command : {QStringList{"reencode", in, target}, QStringList{"optimize", in, target},
                                       QStringList{"convert", in, target}, QStringList{"indexes", in, target}}) {
        const ToolRun run = Glossgif(command);
        EXPECT_EQ(run.code, 1) << command.first().toStdString();
        EXPECT_EQ(run.errors, "error: " + out + ": Disk full\n") << command.first().toStdString();
        EXPECT_EQ(ReadWholeFile(out), old) << command.first().toStdString();
    }
    const ToolRun frames = Glossgif({"frames", in, QString::fromStdString(disk.file("frames"))});
    EXPECT_EQ(frames.code, 1);
    EXPECT_EQ(frames.errors, "error: " + disk.file("frames/frame-0.png") + ": Disk full\n");
    EXPECT_TRUE(QDir(QString::fromStdString(disk.file("frames"))).isEmpty());
    EXPECT_EQ(QDir(QString::fromStdString(disk.file(""))).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "out.gif"}));
}

TEST(WholeFileWrites, DesktopEntriesOnAFullDiskAreReportedAndKept)
{
    TempFolder folder;
    TinyDisk disk(folder.file("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const FileTypeRegistration registration{disk.file("data"), "/opt/glossadrome/glossad"};
    QDir().mkpath(QString::fromStdString(disk.file("data/applications")));
    const std::string entry = "[Desktop Entry]\nName=The user's own\n" + std::string(3000, '#') + "\n";
    WriteWholeFile(registration.DesktopEntryPath(), entry);
    // Room for the MIME package, but not for the desktop entry after it.
    disk.FillLeaving(4096);
    try {
        registration.Register();
        FAIL() << "registered on a full disk";
    } catch (const std::exception &error) {
        EXPECT_EQ(std::string(error.what()), "Failed to set data for '" + registration.DesktopEntryPath() + "'");
    }
    EXPECT_EQ(ReadWholeFile(registration.DesktopEntryPath()), entry);
}
