// PNG, WebP and SVG pictures and MP3, Ogg and FLAC sounds, through the real Edit and Study
// pages, damaged files included; and what keeps an SVG drawing from reaching outside its file or
// running on without end.
#include "platform/MediaPlayer.h"
#include "platform/SvgImage.h"
#include "platform/TimedImagePainter.h"
#include "platform/WaveFile.h"
#include "support/MainWindowFixture.h"

#include <QTest>

namespace {

std::string Data(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/" + name; }

class PictureSoundFormats : public MainWindowTest {
protected:
    QRgb PreviewPixel(int x, int y) const { return window->PreviewV->grab().toImage().pixel(x, y); }
    // The Study page asking the audio of each Item in file order.
    TF_Main &StudyAudio(const std::string &deck)
    {
        TF_Main &w = StartWith(deck);
        w.MediaPlayer1->SetUseNullOutput(true);
        w.NoSort1Click();
        w.SB_Order->click();
        w.PageControl1->setCurrentWidget(w.Tb_Study);
        w.Cb_Questions->setCurrentIndex(3);
        return w;
    }
};

std::unique_ptr<TSvgImage> LoadedSvg(const std::string &text)
{
    auto svg = std::make_unique<TSvgImage>();
    QByteArray bytes = QByteArray::fromStdString(text);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    svg->LoadFromStream(buffer);
    return svg;
}

} // namespace

TEST_F(PictureSoundFormats, PngWebpAndSvgShowInThePreviewAndDamagedOnesAreRefused)
{
    folder.write("broken.png", ReadWholeFile(Data("pictures/alpha.png")).substr(0, 60));
    folder.write("broken.webp", std::string("RIFF\x20\0\0\0WEBPVP8L garbage", 24));
    folder.write("broken.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect");
    TF_Main &w = StartWith(DeckLine("a", "1", "", Data("pictures/alpha.png")) +
                           DeckLine("b", "1", "", Data("pictures/lossless.webp")) +
                           DeckLine("c", "1", "", Data("pictures/drawing.svg")) + DeckLine("d", "1", "", folder.file("broken.png")) +
                           DeckLine("e", "1", "", folder.file("broken.webp")) + DeckLine("f", "1", "", folder.file("broken.svg")));
    const QRgb background = PreviewPixel(85, 40);   // what the transparent half shows
    for (int row = 0; row < 3; ++row) {
        Select(QString(QChar('a' + row)));
        EXPECT_TRUE(w.PreviewV->isVisible()) << row;
        EXPECT_FALSE(w.L_UnableV->isVisible()) << row;
        EXPECT_EQ(PreviewPixel(5, 40), qRgb(255, 0, 0)) << row;   // stretched over the box
        EXPECT_EQ(PreviewPixel(85, 40), row == 0 ? background : qRgb(0, 0, 255)) << row;
    }
    EXPECT_NE(background, qRgb(0, 0, 0));
    EXPECT_TRUE(Scripted().shown.empty());
    for (int row = 3; row < 6; ++row) {
        Select(QString(QChar('a' + row)));
        EXPECT_FALSE(w.PreviewV->isVisible()) << row;
        EXPECT_TRUE(w.L_UnableV->isVisible()) << row;
    }
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>(3, "Unable to load graphic."));
}

TEST_F(PictureSoundFormats, AnSvgNeverLoadsOtherFilesAndIsDrawnAtABoundedSize)
{
    // A red picture of another file over a blue ground: only the ground is drawn.
    const auto outside = LoadedSvg("<!DOCTYPE svg [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                                        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
                                        " width=\"100000000\" height=\"50000000\" viewBox=\"0 0 2 1\">"
                                        "<rect width=\"2\" height=\"1\" fill=\"blue\"/><text>&e;</text>"
                                        "<image xlink:href=\"" + Data("pictures/alpha.png") + "\" width=\"2\" height=\"1\"/></svg>");
    EXPECT_EQ(outside->GetWidth(), TSvgImage::MaxSvgSide);
    EXPECT_EQ(outside->GetHeight(), TSvgImage::MaxSvgSide / 2);
    const QImage drawn = outside->Rendered(QSize(20, 10));
    EXPECT_EQ(drawn.pixel(2, 5), qRgb(0, 0, 255));

    // A chain of <use> that multiplies what is drawn, and one that refers to itself.
    std::string bomb = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"><g id=\"l0\"><rect width=\"1\" height=\"1\"/></g>";
    for (int level = 1; level <= 12; ++level) {
        bomb += "<g id=\"l" + std::to_string(level) + "\">";
        for (int copy = 0; copy < 10; ++copy)
            bomb += "<use xlink:href=\"#l" + std::to_string(level - 1) + "\"/>";
        bomb += "</g>";
    }
    EXPECT_THROW(LoadedSvg(bomb + "</svg>"), EInvalidGraphic);
    EXPECT_THROW(LoadedSvg("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
                           "<g id=\"a\"><use xlink:href=\"#a\"/></g></svg>"),
                 EInvalidGraphic);
}

TEST(TimedImageDevice, DrawsUntilItsDeadlineAndNothingAfter)
{
    for (const bool late : {false, true}) {
        QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        TimedImageDevice device(image, late ? QDeadlineTimer(0) : QDeadlineTimer(QDeadlineTimer::Forever));
        QPainter painter(&device);
        painter.translate(4, 0);
        painter.fillRect(QRect(0, 0, 4, 8), Qt::red);
        painter.end();
        EXPECT_EQ(device.Expired(), late);
        EXPECT_EQ(image.pixel(6, 4), late ? 0u : qRgb(255, 0, 0));
        EXPECT_EQ(image.pixel(1, 4), 0u);   // the transformation came along
    }
}

TEST(SoundFormats, Mp3OggOpusAndFlacDecodeAsTheToneTheyHold)
{
    for (const char *name : {"tone.mp3", "tone.ogg", "tone.opus", "tone.flac"}) {
        const TWaveFile sound(Data(std::string("audio/") + name));
        EXPECT_EQ(sound.SampleRate(), 8000) << name;
        EXPECT_EQ(sound.Channels(), 1) << name;
        EXPECT_NEAR(double(sound.Frames()), 2400, 1200) << name;   // lossy coders pad a little
        // A 440 Hz tone crosses zero 880 times a second: 132 times in the middle 0.15 s.
        auto value = [&](qint64 frame) {
            return sound.Format().sampleFormat() == QAudioFormat::Float ? sound.SampleFloat(frame, 0)
                                                                        : sound.SampleS16(frame, 0) / 32768.0f;
        };
        const qint64 middle = sound.Frames() / 2;
        int crossings = 0;
        for (qint64 frame = middle - 600; frame < middle + 600; ++frame)
            crossings += (value(frame) < 0) != (value(frame + 1) < 0);
        EXPECT_NEAR(crossings, 132, 4) << name;
    }
}

TEST_F(PictureSoundFormats, SoundItemsPlayOnTheStudyPageAndDamagedOnesAreReported)
{
    std::string truncated = ReadWholeFile(Data("audio/tone.flac")).substr(0, 30);
    folder.write("broken.flac", truncated);
    folder.write("broken.ogg", "OggS" + std::string(60, '\x07'));
    folder.write("broken.mp3", "ID3\x04" + std::string(40, '\0'));
    std::string deck;
    for (const char *name : {"tone.mp3", "tone.ogg", "tone.opus", "tone.flac"})
        deck += DeckLine(name, "1", "", "", Data(std::string("audio/") + name));
    for (const char *name : {"broken.flac", "broken.ogg", "broken.mp3"})
        deck += DeckLine(name, "1", "", "", folder.file(name));
    TF_Main &w = StudyAudio(deck);
    for (int item = 0; item < 4; ++item) {
        w.B_Go->click();
        EXPECT_EQ(w.MediaPlayer1->Mode(), TMediaPlayer::TMode::Playing) << item;
        EXPECT_GT(w.MediaPlayer1->Length(), 200) << item;
    }
    EXPECT_TRUE(Scripted().shown.empty());
    for (const char *name : {"broken.flac", "broken.ogg", "broken.mp3"}) {
        w.B_Go->click();
        EXPECT_EQ(Scripted().texts().back(), folder.file(name) + " is an invalid wave file.");
    }
    EXPECT_EQ(Scripted().shown.size(), 3u);
}
