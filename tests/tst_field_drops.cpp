#include "dragdrop/DropTarget.h"
#include "support/MainWindowFixture.h"

#include <QMimeData>
#include <QWindow>

namespace {

class FieldDrops : public MainWindowTest {
protected:
    static QMimeData *Files(const QStringList &paths)
    {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        data->setText(paths.join(QLatin1Char('\n')));
        return data;
    }
    // A drag onto the middle of the control, as the desktop delivers it: enter and move go to the
    // window, which hands them to the control there that takes drops; the drop follows when the
    // move was accepted, otherwise the drag leaves. Answers the drop's accepted action.
    static Qt::DropAction DragOnto(QWidget *target, QMimeData *data, Qt::KeyboardModifiers keys = {},
                                   Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
    {
        QWindow *window = target->window()->windowHandle();
        const QPoint point = target->mapTo(target->window(), target->rect().center());
        QDragEnterEvent enter(point, offered, data, Qt::LeftButton, keys);
        QApplication::sendEvent(window, &enter);
        QDragMoveEvent move(point, offered, data, Qt::LeftButton, keys);
        QApplication::sendEvent(window, &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(window, &leave);
            return Qt::IgnoreAction;
        }
        QDropEvent drop(QPointF(point), offered, data, Qt::LeftButton, keys);
        QApplication::sendEvent(window, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
};

} // namespace

TEST_F(FieldDrops, FirstOfThreeFilesFillsTheVisualField)
{
    TF_Main &w = Start();
    w.T_Visual->setText("old");
    std::unique_ptr<QMimeData> data(Files({"/pics/one.gif", "/pics/two.bmp", "/pics/three.jpg"}));
    EXPECT_EQ(DragOnto(w.T_Visual, data.get()), Qt::CopyAction);
    EXPECT_EQ(w.T_Visual->text(), "/pics/one.gif");
    EXPECT_TRUE(w.DropFileTarget1->DroppedFiles.isEmpty());
    EXPECT_FALSE(w.Modified);
    EXPECT_EQ(folder.read("program/tempfile.gsd"), "");
}

TEST_F(FieldDrops, AudioFieldTakesAnyNameAndShiftStillCopies)
{
    TF_Main &w = Start();
    std::unique_ptr<QMimeData> data(Files({"/snd/a folder"}));
    EXPECT_EQ(DragOnto(w.T_Audio, data.get(), Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(w.T_Audio->text(), "/snd/a folder");
    std::unique_ptr<QMimeData> wave(Files({"/snd/a.wav"}));
    EXPECT_EQ(DragOnto(w.T_Visual, wave.get()), Qt::CopyAction);
    EXPECT_EQ(w.T_Visual->text(), "/snd/a.wav");
}

TEST_F(FieldDrops, ASourceThatOnlyMovesIsRefused)
{
    TF_Main &w = Start();
    std::unique_ptr<QMimeData> data(Files({"/pics/one.gif"}));
    EXPECT_EQ(DragOnto(w.T_Visual, data.get(), {}, Qt::MoveAction), Qt::IgnoreAction);
    EXPECT_TRUE(w.T_Visual->text().isEmpty());
}

TEST_F(FieldDrops, OtherControlsTakeNoDrops)
{
    folder.write("decks/deck.gsd", DeckLine("cat", "2"));
    TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
    w.T_word->setText("word");
    w.T_Definition->setText("definition");
    // The file names travel as text too, which a line edit would take.
    std::unique_ptr<QMimeData> data(Files({"/pics/one.gif"}));
    for (QWidget *control : std::initializer_list<QWidget *>{w.T_word, w.T_Definition, w.ListBox1->viewport()}) {
        ASSERT_TRUE(control->isVisible());
        EXPECT_EQ(DragOnto(control, data.get()), Qt::IgnoreAction) << control->objectName().toStdString();
    }
    EXPECT_EQ(w.T_word->text(), "word");
    EXPECT_EQ(w.T_Definition->text(), "definition");
    EXPECT_TRUE(w.T_Visual->text().isEmpty());
    EXPECT_TRUE(w.T_Audio->text().isEmpty());
    ASSERT_EQ(w.ListBox1->count(), 1);
    EXPECT_EQ(w.ListBox1->item(0)->text(), "cat");
    EXPECT_FALSE(w.Modified);
    EXPECT_EQ(folder.read("decks/deck.gsd"), DeckLine("cat", "2"));
}

TEST_F(FieldDrops, TheDropLeavesThePreviewAlone)
{
    const std::string picture = std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/rgb24.bmp";
    folder.write("decks/deck.gsd", DeckLine("brick", "2", "", picture));
    TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
    w.ListBox1->setCurrentRow(0);
    ASSERT_TRUE(w.PreviewV->isVisible());
    TGraphic *shown = w.PreviewV->Picture().Graphic();
    std::unique_ptr<QMimeData> data(Files({"/pics/other.gif"}));
    DragOnto(w.T_Visual, data.get());
    EXPECT_EQ(w.T_Visual->text(), "/pics/other.gif");
    EXPECT_EQ(w.PreviewV->Picture().Graphic(), shown);
}

TEST_F(FieldDrops, TheCloseStepUnregistersBothFields)
{
    TF_Main &w = Start();
    w.close();
    // Shown again, the window would hand the drag to a field still registered.
    w.show();
    std::unique_ptr<QMimeData> data(Files({"/pics/one.gif"}));
    DragOnto(w.T_Visual, data.get());
    EXPECT_TRUE(w.T_Visual->text().isEmpty());
}
