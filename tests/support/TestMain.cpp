// The main of every test program: the real application object under the offscreen platform,
// scripted dialogs, and a fresh set of scripted answers before every test.
#include "app/PictureFormats.h"
#include "platform/Application.h"
#include "support/OrdinaryUser.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

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
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    RegisterPictureFormats();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    scripted = dialogs.get();
    SetDialogs(std::move(dialogs));
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResetDialogs);
    return RUN_ALL_TESTS();
}
