#include "support/PulseServer.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

PulseServer::PulseServer() = default;
PulseServer::~PulseServer() = default;

void PulseServer::SetUp()
{
    const QString program = QStandardPaths::findExecutable("pulseaudio");
    if (program.isEmpty()) {
        why = "no pulseaudio program";
        return;
    }
    dir = std::make_unique<QTemporaryDir>();
    const QString socket = dir->filePath("pulse.sock");
    process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir->path());
    env.insert("XDG_RUNTIME_DIR", dir->path());
    env.insert("XDG_CONFIG_HOME", dir->path());
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(program, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                             "--use-pid-file=no", "--log-level=error", "-L", "module-null-sink sink_name=glossad_null",
                             "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1"});
    if (!process->waitForStarted(10000) ||
        !QTest::qWaitFor([&] { return QFileInfo::exists(socket) || process->state() != QProcess::Running; }, 15000) ||
        !QFileInfo::exists(socket)) {
        why = "the sound server did not start: " + process->readAll().toStdString();
        Stop();
        return;
    }
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
    running = true;
}

void PulseServer::Stop()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();   // our own child, by its process id
        process->waitForFinished(10000);
    }
    running = false;
}

PulseServer &SoundServer()
{
    static PulseServer *server = static_cast<PulseServer *>(::testing::AddGlobalTestEnvironment(new PulseServer));
    return *server;
}
