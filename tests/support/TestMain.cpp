// The main of every test program: the real application object under the offscreen platform,
// scripted dialogs, and a fresh set of scripted answers before every test.
#include "app/PictureFormats.h"
#include "platform/Application.h"
#include "support/OrdinaryUser.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {
ScriptedDialogs *scripted = nullptr;

class ResetDialogs : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        scripted->answers.clear();
        scripted->files.clear();
        scripted->clear();
    }
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        EXPECT_TRUE(scripted->answers.empty()) << "scripted answers left unused";
    }
};
} // namespace

ScriptedDialogs &Scripted() { return *scripted; }

int main(int argc, char **argv)
{
    BecomeOrdinaryUserWhenAsked();
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // Without a desktop session Qt would make a runtime folder in the temporary folder and leave
    // it there; the test program brings one of its own and removes it at the end.
    std::optional<QTemporaryDir> runtimeFolder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeFolder.emplace(QDir::tempPath() + QStringLiteral("/Glossadrome-runtime-XXXXXX"));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
    }
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    RegisterPictureFormats();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    scripted = dialogs.get();
    SetDialogs(std::move(dialogs));
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetDialogs);
    return RUN_ALL_TESTS();
}
