#include "support/OrdinaryUser.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
const char *const ChildMark = "GLOSSAD_TEST_AS_NOBODY";
}

void BecomeOrdinaryUserWhenAsked()
{
    if (!std::getenv(ChildMark))
        return;
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
        std::_Exit(3);
    // The parent's per-user folders belong to root; each test makes its own.
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        ::unsetenv(name);
}

OrdinaryUserRun RunAsOrdinaryUser()
{
    if (std::getenv(ChildMark) || ::geteuid() != 0)
        return OrdinaryUserRun::Here;
    if (!::getpwnam("nobody"))
        return OrdinaryUserRun::Impossible;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildMark), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("/proc/self/exe"),
                {QStringLiteral("--gtest_filter=%1.%2").arg(QString::fromLatin1(test->test_suite_name()),
                                                            QString::fromLatin1(test->name()))});
    const bool finished = child.waitForFinished(-1);
    const QByteArray output = child.readAll();
    EXPECT_TRUE(finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        << "as nobody:\n" << output.toStdString();
    return OrdinaryUserRun::DoneInChild;
}
