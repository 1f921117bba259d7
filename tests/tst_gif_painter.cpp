// The animation painter: the delay schedule (on a clock the test moves), loops, the events,
// speed 0, repeated Draws, disposal methods, a frame that fails mid-animation, and the end of
// a picture that is playing.
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"
#include "platform/ImageControl.h"
#include "support/GIFPictures.h"
#include "support/ScriptedDialogs.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gifpictures;

namespace {
const QRgb White = qRgb(255, 255, 255), Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255), Green = qRgb(0, 255, 0);
const QRgb Backdrop = qRgb(1, 2, 3);

class Painter : public ::testing::Test {
protected:
    // A picture of n frames of 2 x 2, each with this delay (-1: no graphic control extension).
    std::unique_ptr<TGIFImage> Frames(const std::vector<int> &delays)
    {
        auto image = NewPicture(2, 2, {White, Red});
        for (size_t i = 0; i < delays.size(); ++i)
            AddFrame(*image, QRect(0, 0, 2, 2), uint8_t(i % 2), delays[i]);
        return image;
    }

    // Plays the picture on the step clock until done() holds, recording the events.
    void Play(TGIFImage &image, const std::function<bool()> &done)
    {
        image.PainterClock = &clock;
        image.OnAnimationStart = [this](TGIFPainter &) { events.push_back("start"); };
        image.OnFramePaint = [this](TGIFPainter &p) {
            times.push_back(clock.now);
            frames.push_back(p.CurrentFrame);
        };
        image.OnAnimationLoop = [this](TGIFPainter &) { events.push_back("loop"); };
        image.OnAnimationEnd = [this](TGIFPainter &p) { events.push_back("end " + std::to_string(p.CurrentFrame)); };
        image.Draw(target.canvas, QRect(0, 0, 2, 2));
        EXPECT_TRUE(QTest::qWaitFor(done, 10000));
    }

    std::vector<int64_t> Intervals() const
    {
        std::vector<int64_t> result;
        for (size_t i = 1; i < times.size(); ++i)
            result.push_back(times[i] - times[i - 1]);
        return result;
    }

    StepClock clock;
    ImageCanvas target{2, 2, Backdrop};
    std::vector<int64_t> times;
    std::vector<int> frames;
    std::vector<std::string> events;
};
} // namespace

TEST_F(Painter, DelaysFollowTheSpeed)
{
    for (int speed : {100, 200}) {
        auto image = Frames({50, 50});
        AddLoop(*image->Images()[0], 0);
        image->SpeedPercent = speed;
        times.clear();
        Play(*image, [&] { return times.size() >= 5; });
        image->StopPainters();
        // 50 units of 12 ms at speed 100; twice as fast at 200.
        EXPECT_EQ(Intervals(), std::vector<int64_t>(times.size() - 1, speed == 100 ? 600 : 300)) << speed;
    }
}

TEST_F(Painter, PaintingTimeKeepsToTheSchedule)
{
    // Every frame takes 7 ms to paint and the fourth 2 s: the time painting is taken off the
    // wait, so frames keep 600 ms apart; a painter that far behind starts afresh, not rushing.
    auto image = Frames({50, 50});
    AddLoop(*image->Images()[0], 0);
    image->OnFramePainted = [this](TGIFPainter &) { clock.now += times.size() == 4 ? 2000 : 7; };
    Play(*image, [&] { return times.size() >= 7; });
    image->StopPainters();
    EXPECT_EQ(Intervals(), (std::vector<int64_t>{600, 600, 600, 2600, 600, 600}));
}

TEST_F(Painter, ShortAndMissingDelays)
{
    // 1 unit plays as 3 (36 ms), no delay as 10 units (120 ms).
    auto image = Frames({1, -1, 50});
    AddLoop(*image->Images()[0], 0);
    Play(*image, [&] { return times.size() >= 4; });
    image->StopPainters();
    const std::vector<int64_t> intervals = Intervals();
    EXPECT_EQ(std::vector<int64_t>(intervals.begin(), intervals.begin() + 3), (std::vector<int64_t>{36, 120, 600}));
}

TEST_F(Painter, LoopCounts)
{
    const auto ended = [&] { return !events.empty() && events.back().rfind("end", 0) == 0; };
    // Without a looping extension one pass, even with DrawLoop.
    auto once = Frames({5, 5, 5});
    Play(*once, ended);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(events, (std::vector<std::string>{"start", "end -1"}));

    // Three loops: three passes, then the end with CurrentFrame -1.
    frames.clear(), events.clear();
    auto three = Frames({5, 5});
    AddLoop(*three->Images()[0], 3);
    Play(*three, ended);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(events, (std::vector<std::string>{"start", "loop", "loop", "end -1"}));

    // A looping extension in the third frame: later passes start there.
    frames.clear(), events.clear();
    auto late = Frames({5, 5, 5, 5});
    AddLoop(*late->Images()[2], 2);
    Play(*late, ended);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 2, 3}));

    // Loops 0: for ever, until stopped.
    frames.clear(), events.clear();
    auto endless = Frames({5, 5});
    AddLoop(*endless->Images()[0], 0);
    Play(*endless, [&] { return frames.size() >= 12; });
    EXPECT_EQ(endless->PainterCount(), 1);
    endless->StopPainters();
    EXPECT_EQ(endless->PainterCount(), 0);
}

TEST_F(Painter, HandlerMayChooseTheNextFrame)
{
    auto image = Frames({5, 5, 5});
    bool once = false;
    image->OnFramePainted = [&](TGIFPainter &p) {
        if (p.CurrentFrame == 1 && !once) {
            once = true;
            p.CurrentFrame = 0;
        }
    };
    Play(*image, [&] { return !events.empty() && events.back() == "end -1"; });
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 0, 1, 2}));
}

TEST_F(Painter, SpeedZeroStandsStillUntilStopped)
{
    auto image = Frames({5, 5});
    AddLoop(*image->Images()[0], 0);
    image->SpeedPercent = 0;
    Play(*image, [&] { return frames.size() == 1; });
    // Time does not move, so a painter that did not stand still would be at once past frame 0.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(frames, std::vector<int>{0});
    image->StopPainters();
    EXPECT_EQ(image->PainterCount(), 0);
}

TEST_F(Painter, SecondDrawOnTheSameRectangleKeepsPlaying)
{
    auto image = Frames({5, 5});
    AddLoop(*image->Images()[0], 0);
    image->PaintFlags |= DrawDirect;
    image->SpeedPercent = 0;
    Play(*image, [&] { return frames.size() == 1; });
    TGIFPainter *first = image->CurrentPainter();
    ASSERT_NE(first, nullptr);
    image->Draw(target.canvas, QRect(0, 0, 2, 2));
    EXPECT_EQ(image->CurrentPainter(), first);
    EXPECT_EQ(frames.size(), 1u);
    image->Draw(target.canvas, QRect(0, 0, 1, 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames.size() == 2; }, 10000));
    EXPECT_EQ(frames.back(), 0);   // started again
    EXPECT_EQ(image->PainterCount(), 1);
    image->StopPainters();
}

TEST_F(Painter, EndsWhenItsWidgetIsHiddenForGood)
{
    auto image = Frames({5, 5});
    AddLoop(*image->Images()[0], 0);
    image->PaintFlags |= DrawDirect | DrawValidateCanvas;
    QWidget widget;
    widget.show();
    target.canvas.SetOwner(&widget);
    Play(*image, [&] { return frames.size() >= 3; });
    EXPECT_EQ(image->PainterCount(), 1);
    widget.hide();
    EXPECT_TRUE(QTest::qWaitFor([&] { return image->PainterCount() == 0; }, 10000));
}

TEST_F(Painter, DisposalMethods)
{
    // Red screen; blue put back after it (3); green cleared to what lies behind (2); red with
    // an undefined method (5) that stays, as method 1 would; then blue.
    auto image = NewPicture(6, 1, {White, Red, Blue, Green});
    AddFrame(*image, QRect(0, 0, 6, 1), 1, 5, 1);
    AddFrame(*image, QRect(1, 0, 2, 1), 2, 5, 3);
    AddFrame(*image, QRect(4, 0, 1, 1), 3, 5, 2);
    AddFrame(*image, QRect(5, 0, 1, 1), 2, 5, 5);
    AddFrame(*image, QRect(0, 0, 1, 1), 2, 5, 1);
    std::vector<std::string> shown;
    image->OnFramePainted = [&](TGIFPainter &) {
        const QImage full = image->Bitmap();
        std::string row;
        for (int x = 0; x < 6; ++x) {
            const QRgb c = full.pixel(x, 0);
            row += c == Red ? 'R' : c == Blue ? 'B' : c == Green ? 'G' : c == Backdrop ? '.' : '?';
        }
        shown.push_back(row);
    };
    ImageCanvas wide(6, 1, Backdrop);
    image->PainterClock = &clock;
    image->OnAnimationEnd = [&](TGIFPainter &) { events.push_back("end"); };
    image->Draw(wide.canvas, QRect(0, 0, 6, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 10000));
    EXPECT_EQ(shown, (std::vector<std::string>{"RRRRRR", "RBBRRR", "RRRRGR", "RRRR.B", "BRRR.B"}));
}

TEST_F(Painter, LastControlBlockOfAFrameDecidesItsDisposal)
{
    auto image = NewPicture(2, 1, {White, Red, Blue});
    TGIFSubImage &first = AddFrame(*image, QRect(0, 0, 2, 1), 1, 5, 1);
    auto *later = new TGIFGraphicControlExtension(&first);
    later->SetDisposal(2);
    first.Extensions().Add(later);
    AddFrame(*image, QRect(1, 0, 1, 1), 2, 5, 1);
    std::vector<QRgb> shown;
    image->OnFramePainted = [&](TGIFPainter &) { shown.push_back(image->Bitmap().pixel(0, 0)); };
    image->PainterClock = &clock;
    image->OnAnimationEnd = [&](TGIFPainter &) { events.push_back("end"); };
    image->Draw(target.canvas, QRect(0, 0, 2, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !events.empty(); }, 10000));
    EXPECT_EQ(shown, (std::vector<QRgb>{Red, Backdrop}));   // the first frame cleared away
}

TEST_F(Painter, StopSetsThePriorityBackToNormal)
{
    auto image = Frames({5, 5});
    AddLoop(*image->Images()[0], 0);
    image->SpeedPercent = 0;
    image->PainterPriority = QThread::LowestPriority;
    Play(*image, [&] { return frames.size() == 1; });
    TGIFPainter *painter = image->CurrentPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->priority(), QThread::LowestPriority);
    // The painter cannot end before this thread runs its last steps.
    painter->Stop();
    EXPECT_EQ(painter->priority(), QThread::NormalPriority);
    image->StopPainters();
}

TEST_F(Painter, FrameThatFailsEndsTheAnimationWithOneError)
{
    // The third frame is larger than any picture may be: rendering it fails.
    auto image = Frames({5, 5});
    AddFrame(*image, QRect(0, 0, 8200, 8200), 0, 5);
    image->Header().Width = image->Header().Height = 2;
    AddLoop(*image->Images()[0], 0);
    image->PainterClock = &clock;
    TGIFImage *picture = image.get();
    TImage control;
    control.SetStretch(true);
    control.resize(20, 20);
    control.Picture().SetGraphic(std::move(image));
    control.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Scripted().shown.empty(); }, 10000));
    for (int i = 0; i < 5; ++i) {
        control.repaint();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(Scripted().texts(), std::vector<std::string>{"Failed to allocate memory for GIF DIB."});
    EXPECT_EQ(picture->PainterCount(), 0);
    EXPECT_FALSE(picture->Bitmap().isNull());   // the last frame painted stays on show
}

TEST_F(Painter, PictureThatGoesWhilePlayingLeavesNoThread)
{
    ASSERT_TRUE(NoPainterThreads());
    auto image = Frames({5, 5});
    AddLoop(*image->Images()[0], 0);
    image->SpeedPercent = 0;   // waiting out a delay when it goes
    Play(*image, [&] { return frames.size() == 1; });
    EXPECT_EQ(PainterThreads(), 1);
    image.reset();
    EXPECT_TRUE(NoPainterThreads());

    // Also when it goes while painting without delays.
    auto busy = Frames({5, 5});
    AddLoop(*busy->Images()[0], 0);
    busy->SpeedPercent = -1;
    frames.clear();
    Play(*busy, [&] { return frames.size() >= 3; });
    busy.reset();
    EXPECT_TRUE(NoPainterThreads());
}
