// What a screen reader and a reader of the screen get: content as accessible names, the sort
// menu in the accessibility tree, focus at start, fields shown from their start.
#include "support/MainWindowFixture.h"

#include <QAccessible>
#include <QScrollBar>

namespace {

QString Name(QObject *object) { return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name); }
QString Description(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Description);
}

bool HasChild(QAccessibleInterface *parent, QObject *object)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (QAccessibleInterface *child = parent->child(i); child && child->object() == object)
            return true;
    return false;
}

// The child of an accessible object with this name, or null.
QAccessibleInterface *ChildNamed(QAccessibleInterface *parent, const QString &name)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (QAccessibleInterface *child = parent->child(i); child && child->text(QAccessible::Name) == name)
            return child;
    return nullptr;
}

const QString LongText = QStringLiteral("the beginning of a long text, ") + QString(40, 'x') +
                         QStringLiteral(" and more words\nwith\nmany\nlines\nthat\nrun\npast\nthe\nbox\nend");

} // namespace

using Accessibility = MainWindowTest;

TEST_F(Accessibility, ContentControlsAreNamedByTheirContent)
{
    TF_Main &w = StartWith(DeckLine("chat", "3", "cat, in French", "", ""));
    EXPECT_EQ(Name(w.StatusLabel), QString::fromStdString(DeckPath("deck.gsd")) + " loaded.");
    EXPECT_EQ(Description(w.StatusLabel), "Status");
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.Ck_Def->setChecked(true);
    w.B_Go->click();
    EXPECT_EQ(Name(w.L_WordQ), "chat");
    EXPECT_EQ(Description(w.L_WordQ), "Word");
    EXPECT_EQ(Name(w.State), "Question");
    w.B_Go->click();
    EXPECT_EQ(Name(w.M_Def), "cat, in French");
    EXPECT_EQ(Description(w.M_Def), "Definition");
    EXPECT_EQ(Name(w.State), "Answer");
    EXPECT_EQ(Description(w.State), "Phase");
    // The captions of fields are their names; their content is their value.
    EXPECT_EQ(Name(w.T_word), "Word");
}

TEST_F(Accessibility, SortMenuIsInTheTreeWhileOpenAndItsItemsPress)
{
    TF_Main &w = StartWith(DeckLine("b", "1") + DeckLine("a", "2"));
    QAccessibleInterface *application = QAccessible::queryAccessibleInterface(qApp);
    const int windows = application->childCount();
    ASSERT_FALSE(HasChild(application, w.PopupMenu1));

    // The menu key on the list opens the sort menu, as the right mouse button does.
    w.ListBox1->setFocus();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), w.ListBox1->mapToGlobal(QPoint()));
    QApplication::sendEvent(w.ListBox1, &key);
    ASSERT_TRUE(w.PopupMenu1->isVisible());
    ASSERT_EQ(application->childCount(), windows + 1);
    QAccessibleInterface *menu = application->child(windows);
    EXPECT_EQ(menu->object(), w.PopupMenu1);
    EXPECT_EQ(application->indexOfChild(menu), windows);
    EXPECT_EQ(menu->parent()->object(), qApp);
    QAccessibleInterface *descending = ChildNamed(menu, "Decending");
    ASSERT_NE(descending, nullptr);
    descending->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(w.Decending1->isChecked());
    EXPECT_EQ(w.ListBox1->item(0)->text(), "b");

    w.PopupMenu1->hide();
    EXPECT_EQ(application->childCount(), windows);
}

TEST_F(Accessibility, ToggleActionOfAToolButtonIsAClick)
{
    TF_Main &w = Start();
    auto toggle = [](QWidget *button) {
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(button);
        EXPECT_EQ(access->role(), QAccessible::CheckBox);
        access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        return access->state().checked;
    };
    EXPECT_TRUE(toggle(w.SB_Freq));
    // In Order turns frequency off, and frequency turns Random back on: their handlers ran.
    EXPECT_TRUE(toggle(w.SB_Order));
    EXPECT_FALSE(w.SB_Freq->isChecked());
    EXPECT_TRUE(toggle(w.SB_Freq));
    EXPECT_TRUE(w.SB_Random->isChecked());
    EXPECT_EQ(Name(w.SB_Freq), "Frequency in effect");
}

TEST_F(Accessibility, TypingStartsInTheWordField)
{
    TF_Main &w = StartWith(DeckLine("chat", "3"));
    QApplication::setActiveWindow(&w);
    EXPECT_EQ(QApplication::focusWidget(), w.T_word);
}

TEST_F(Accessibility, FilledFieldsShowTheirStart)
{
    const std::string text = LongText.toStdString();
    std::string oneLine = text;
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    TF_Main &w = StartWith(DeckLine("word", "1", oneLine, "/a/long/path/" + std::string(60, 'p') + ".bmp"));
    w.ListBox1->setCurrentRow(0);
    EXPECT_EQ(w.T_Definition->text().toStdString(), oneLine);
    EXPECT_EQ(w.T_Definition->cursorPosition(), 0);
    EXPECT_EQ(w.T_Visual->cursorPosition(), 0);
    Scripted().clear();   // the preview's message about the missing picture

    // The definition memo, after a question and after an answer.
    w.Cb_Questions->setCurrentIndex(1);
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.B_Go->click();
    ASSERT_GT(w.M_Def->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(w.M_Def->verticalScrollBar()->value(), 0);
    EXPECT_EQ(w.M_Def->textCursor().position(), 0);
}

TEST_F(Accessibility, UnableToLoadReadsWhole)
{
    TF_Main &w = Start();
    const QString text = w.L_UnableV->text();
    EXPECT_EQ(text, "Unable to load");
    EXPECT_GE(w.L_UnableV->contentsRect().width(), w.L_UnableV->fontMetrics().horizontalAdvance(text));
    EXPECT_GE(w.L_UnableV->contentsRect().height(), w.L_UnableV->fontMetrics().height());
    // Still over the preview box.
    EXPECT_EQ(w.L_UnableV->geometry().center().x(), w.PreviewV->geometry().center().x());
}

TEST_F(Accessibility, TheQuestionListThePreviewAndTheListEntriesSayWhatTheyAre)
{
    const std::string brick = std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/rgb24.bmp";
    TF_Main &w = StartWith(DeckLine("brick", "2", "", brick) + DeckLine("plain", "2"));
    QApplication::setActiveWindow(&w);
    QAccessibleInterface *question = QAccessible::queryAccessibleInterface(w.Cb_Questions);
    EXPECT_EQ(question->role(), QAccessible::ComboBox);
    EXPECT_EQ(Name(w.Cb_Questions), "Question");
    EXPECT_EQ(question->text(QAccessible::Value), "Word");
    ASSERT_EQ(question->childCount(), 1);
    EXPECT_EQ(question->child(0)->object(), w.Cb_Questions->view());

    EXPECT_EQ(Name(w.PreviewV), "No picture");
    w.ListBox1->setFocus();
    w.ListBox1->setCurrentRow(0);
    EXPECT_EQ(Name(w.PreviewV), "rgb24.bmp");
    const auto entry = [&w] { return QAccessible::queryAccessibleInterface(w.ListBox1)->child(0)->state(); };
    EXPECT_TRUE(entry().focused);
    w.T_word->setFocus();
    EXPECT_FALSE(entry().focused);
    EXPECT_TRUE(entry().selected);
    w.ListBox1->setFocus();
    EXPECT_TRUE(entry().focused);
    w.B_Clear->click();
    EXPECT_EQ(Name(w.PreviewV), "No picture");

    // The entry chosen stays the one Delete removes while the focus is elsewhere.
    w.B_Delete->setFocus();
    Scripted().answers = {MsgResult::Yes};
    w.B_Delete->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Are you sure you want to delete brick?"});
}
