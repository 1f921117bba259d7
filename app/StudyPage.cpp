// The Study page: Go with its question and answer phases, the answer sides, and the tool-bar
// events that choose how the next Item is picked.
#include "app/MainWindow.h"

#include "app/DeckSpeech.h"
#include "app/FieldText.h"
#include "app/ItemSound.h"
#include "app/SpacedStudy.h"

#include "platform/Dialogs.h"
#include "platform/ImageControl.h"
#include "platform/MediaPlayer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

namespace {
std::string Entry(const StringList &item, int index)
{
    return index >= 0 && size_t(index) < item.size() ? item[size_t(index)] : std::string{};
}

bool Chosen(const QCheckBox *box) { return box->isChecked() && box->isEnabled(); }

// Why Go cannot be pressed.
QString NothingToAsk(int kind, bool byFrequency, int itemCount)
{
    static const char *const sides[] = {"a word", "a definition", "a picture", "a sound"};
    if (kind < qkWord || kind > qkAudio)
        return QStringLiteral("Choose in the Question list what to ask.");
    if (itemCount == 0)
        return QStringLiteral("The Deck has no Items to ask.");
    return QStringLiteral("No Item %1has %2 to ask.")
        .arg(byFrequency ? QStringLiteral("of frequency 1 to 5 ") : QString(), QLatin1String(sides[kind]));
}
} // namespace

void TF_Main::ShowState(const char *resource)
{
    State->setPixmap(QPixmap(QStringLiteral(":/state/") + QLatin1String(resource)));
    State->setAccessibleName(QLatin1String(resource) == QLatin1String("Qbmp") ? QStringLiteral("Question")
                                                                              : QStringLiteral("Answer"));
    State->show();
}

void TF_Main::SetGoEnabled(bool enabled)
{
    B_Go->setEnabled(enabled);
    // The Study page says why Go cannot be pressed, until it can again.
    if (!enabled && PageControl1->currentWidget() == Tb_Study) {
        goReason = NothingToAsk(Cb_Questions->currentIndex(), SB_Freq->isChecked(), Store.ItemCount);
        SetStatusText(goReason);
    } else if (enabled && !goReason.isEmpty() && StatusText() == goReason) {
        SetStatusText(QString());
    }
}

void TF_Main::RebuildPools()
{
    const int kind = Cb_Questions->currentIndex();
    if (SB_Freq->isChecked())
        SetGoEnabled(kind != qkNone && Questions.BuildFrequencyPools(kind, false));
    else
        SetGoEnabled(kind != qkNone && Questions.BuildEligiblePool(QuestionFieldNumber(kind)));
}

QuestionEngine::Mode TF_Main::SelectionMode() const
{
    if (SB_Random->isChecked())
        return SB_Freq->isChecked() ? QuestionEngine::Mode::Weighted : QuestionEngine::Mode::Uniform;
    return QuestionEngine::Mode::InOrder;
}

void TF_Main::B_GoClick()
{
    if (ListBox1->count() == 0)
        return;
    const bool anyAnswer = Chosen(Ck_Word) || Chosen(Ck_Def) || Chosen(Ck_Visual) || Chosen(Ck_Audio);
    if (Sb_ShowAnswer->isChecked() && AnswerPending && anyAnswer)
        AnswerPhase();
    else
        QuestionPhase();
    Spaced->AfterGo(Sb_ShowAnswer->isChecked() && AnswerPending && anyAnswer);
}

void TF_Main::QuestionPhase()
{
    // The last question's picture stops playing, also where it stays on show.
    Image1->StopAnimation();
    ShowState("Qbmp");
    const int kind = Cb_Questions->currentIndex();
    const bool chosen = Spaced->IsOn() ? Spaced->SelectNextItem() : Questions.SelectNextItem(SelectionMode(), kind);
    if (!chosen)
        return;   // nothing can be asked: the page keeps what it shows
    const StringList &item = Questions.CurrentItem;
    const DeckText &deck = Questions.CurrentText;
    // The page's sound controls give this Item from now on: its recording, or its word spoken.
    Speech->StudySound->SetItem(deck.ToText(Entry(item, 0)), deck.PathText(Entry(item, 4)));
    switch (kind) {
    case qkWord:
        Image1->hide();
        MediaPlayer1->Close();
        L_WordQ->setText(deck.ToText(Entry(item, 0)));
        L_WordQ->show();
        M_Def->clear();
        break;
    case qkDefinition:
        M_Def->clear();
        Image1->hide();
        MediaPlayer1->Close();
        L_WordQ->hide();
        ShowFromStart(M_Def, deck.ToText(Entry(item, 2)));
        break;
    case qkVisual: {
        Image1->show();
        MediaPlayer1->Close();
        L_WordQ->hide();
        M_Def->clear();
        const std::string visual = Entry(item, 3);
        if (FileCanBeRead(deck.NativePath(visual))) {
            try {
                LoadPicture(*Image1, deck.PathText(visual));
            } catch (const std::exception &) {
                ShowErrorMessage(deck.PathText(visual) + QStringLiteral(" is an invalid picture file."));
            }
        }
        break;
    }
    case qkAudio: {
        Image1->hide();
        L_WordQ->hide();
        M_Def->clear();
        MediaPlayer1->Close();
        // An Item without a recording that can be read has its word spoken.
        try {
            Speech->StudySound->Play();
        } catch (const std::exception &) {
            ShowErrorMessage(deck.PathText(Entry(item, 4)) + QStringLiteral(" is an invalid wave file."));
        }
        break;
    }
    default:
        break;
    }
    AnswerPending = true;
}

void TF_Main::AnswerPhase()
{
    ShowState("Abmp");
    const StringList &item = Questions.CurrentItem;
    const DeckText &deck = Questions.CurrentText;
    if (Chosen(Ck_Word)) {
        L_WordQ->setText(deck.ToText(Entry(item, 0)));
        L_WordQ->show();
    }
    if (Chosen(Ck_Def) && !Entry(item, 2).empty()) {
        ShowFromStart(M_Def, deck.ToText(Entry(item, 2)));
    }
    if (Chosen(Ck_Visual) && !Entry(item, 3).empty()) {
        // A picture that does not load leaves the page as it is, without a message.
        try {
            LoadPicture(*Image1, deck.PathText(Entry(item, 3)));
            Image1->show();
        } catch (const std::exception &) {
        }
    }
    if (Chosen(Ck_Audio)) {
        // A sound that does not play is passed over without a message.
        try {
            Speech->StudySound->Play();
        } catch (const std::exception &) {
        }
    }
    AnswerPending = false;
}

void TF_Main::Cb_QuestionsChange()
{
    const int kind = Cb_Questions->currentIndex();
    Ck_Word->setEnabled(kind != qkWord);
    Ck_Def->setEnabled(kind != qkDefinition);
    Ck_Visual->setEnabled(kind != qkVisual);
    Ck_Audio->setEnabled(kind != qkAudio);
    RebuildPools();
}

void TF_Main::SB_FreqClick()
{
    if (SB_Order->isChecked())
        SB_Random->setChecked(true);
    RebuildPools();
}

void TF_Main::SB_OrderClick()
{
    SB_Freq->setChecked(false);
    RebuildPools();
}

void TF_Main::PageControl1Change()
{
    CloseAnswerPanel();
    // Go follows the Deck as it is now, whatever the Edit page or the file commands changed.
    if (PageControl1->currentWidget() == Tb_Study)
        RebuildPools();
}
