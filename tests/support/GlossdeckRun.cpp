#include "support/GlossdeckRun.h"

#include <QCoreApplication>
#include <QProcess>

ToolRun Glossdeck(const QStringList &args)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/glossdeck", args);
    tool.waitForFinished(60000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, tool.readAllStandardOutput().toStdString(),
            tool.readAllStandardError().toStdString()};
}
