// The real Qt message boxes and file dialogs, shown without running them.
#include "app/MainWindow.h"
#include "platform/QtDialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QScreen>

#include <gtest/gtest.h>

namespace {
QStringList Captions(QFileDialog &dialog)
{
    QStringList captions;
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    for (int i = 0; types && i < types->count(); ++i)
        captions << types->itemText(i);
    return captions;
}
} // namespace

TEST(QtMessageBoxes, WideBoxIsCentredOnTheScreenAtItsFinalSize)
{
    const QString text = QStringLiteral("A message far wider than the box would be by default: ") + QString(120, 'w');
    const auto box = NewMessageBox(QStringLiteral("Error"), true, text, MsgButtons::YesNoCancel);
    box->show();
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_GT(box->width(), 400);
    EXPECT_LE((box->frameGeometry().center() - screenCentre).manhattanLength(), 2);
    QStringList buttons;
    for (QAbstractButton *button : box->buttons())
        buttons << button->text();
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"&No", "&Yes", "Cancel"}));
}

TEST(QtFileDialogs, FilterCaptionsReadAsWrittenAndStillFilter)
{
    const auto pictures = NewFileDialog({TF_Main::VisualFilter, "", ""}, false);
    EXPECT_EQ(Captions(*pictures),
              (QStringList{"All (*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf;*.png;*.webp;*.svg)", "GIF Images (*.gif)",
                           "JPEG Images(*.jpg;*.jpeg)", "Bitmaps (*.bmp)", "Icons (*.ico)", "MetaFiles (*.wmf)",
                           "Enhanced MataFiles (*.emf)", "PNG Images (*.png)", "WebP Images (*.webp)", "SVG Drawings (*.svg)"}));
    auto *model = pictures->findChild<QFileSystemModel *>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(),
              (QStringList{"*.jpg", "*.gif", "*.jpeg", "*.bmp", "*.emf", "*.wmf", "*.png", "*.webp", "*.svg"}));
    pictures->selectNameFilter(pictures->nameFilters().at(2));
    EXPECT_EQ(model->nameFilters(), (QStringList{"*.jpg", "*.jpeg"}));

    const auto sounds = NewFileDialog({TF_Main::AudioFilter, "", ""}, false);
    EXPECT_EQ(Captions(*sounds), (QStringList{"Sounds [*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac]", "Wave [*.wav]", "MP3 [*.mp3]",
                                              "Ogg [*.ogg;*.oga;*.opus]", "FLAC [*.flac]"}));
    EXPECT_EQ(sounds->findChild<QFileSystemModel *>()->nameFilters(),
              (QStringList{"*.wav", "*.mp3", "*.ogg", "*.oga", "*.opus", "*.flac"}));

    const auto decks = NewFileDialog({TF_Main::DeckSaveFilter, "gsd", "Save As"}, true);
    EXPECT_EQ(Captions(*decks), QStringList{"Glossadrome Data File [*.gsd]"});
    EXPECT_EQ(decks->defaultSuffix(), "gsd");
}
