#include "app/SpacedStudy.h"

#include "app/ButtonImages.h"
#include "app/MainWindow.h"
#include "app/StatisticsWindow.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/ImageControl.h"
#include "platform/MediaPlayer.h"
#include "review/IntervalText.h"
#include "review/ReviewWord.h"
#include "review/TimeText.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

#include <cstdio>
#include <sys/stat.h>

namespace {
const char *const GradeCaptions[] = {"Again", "Hard", "Good", "Easy"};

QString LocalTimeText(ReviewTime time)
{
    return QLocale::system().toString(QDateTime::fromSecsSinceEpoch(time), QLocale::ShortFormat);
}
} // namespace

TSpacedStudy::TSpacedStudy(TF_Main &mainWindow) : QObject(&mainWindow), window(mainWindow)
{
    SB_Spaced = new TToggleButton(window.ToolBar1);
    SB_Spaced->setObjectName(QStringLiteral("SB_Spaced"));
    SB_Spaced->setToolTip(QStringLiteral("Spaced review"));
    SB_Spaced->setAccessibleName(QStringLiteral("Spaced review"));
    SB_Spaced->setAutoRaise(true);
    SB_Spaced->setFixedSize(23, 22);
    SB_Spaced->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::Spaced, Qt::white), Qt::white));
    // Beside Random and In Order, and one of their group.
    for (QAction *action : window.ToolBar1->actions())
        if (window.ToolBar1->widgetForAction(action) == window.QuestionCaption) {
            window.ToolBar1->insertWidget(action, SB_Spaced);
            break;
        }
    window.OrderGroup->addButton(SB_Spaced);

    Review1 = new QMenu(QStringLiteral("&Review"), window.MainMenu1);
    Review1->setObjectName(QStringLiteral("Review1"));
    window.MainMenu1->insertMenu(window.Help1->menuAction(), Review1);
    Statistics1 = Review1->addAction(QStringLiteral("&Statistics"));
    Statistics1->setObjectName(QStringLiteral("Statistics1"));

    L_Due = new QLabel(window.Bevel2);
    L_Due->setObjectName(QStringLiteral("L_Due"));
    L_Due->setGeometry(8, 248, 201, 36);
    L_Due->setWordWrap(true);
    L_Due->setAlignment(Qt::AlignCenter);
    L_Due->hide();
    QPushButton **buttons[] = {&B_Again, &B_Hard, &B_Good, &B_Easy};
    for (int i = 0; i < 4; ++i) {
        auto *button = new QPushButton(window.Bevel2);
        button->setObjectName(QStringLiteral("B_") + QLatin1String(GradeCaptions[i]));
        button->setGeometry(8 + 51 * i, 248, 49, 36);
        button->setAccessibleName(QLatin1String(GradeCaptions[i]));
        button->setToolTip(QStringLiteral("%1 (key %2)").arg(QLatin1String(GradeCaptions[i])).arg(i + 1));
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, i] { Handler(this, &TSpacedStudy::GradeClick)(Grade(i + 1)); });
        *buttons[i] = button;
        // Below the definition, which takes the height the window gains; they share its width.
        window.StudyLayout.Anchor(button, {i / 4.0, 1, (i + 1) / 4.0, 1});
    }
    window.StudyLayout.Anchor(L_Due, {0, 1, 1, 1});

    connect(Statistics1, &QAction::triggered, this, Handler(this, &TSpacedStudy::Statistics1Click));
    connect(SB_Spaced, &QToolButton::clicked, this, Handler(this, &TSpacedStudy::Open));
    connect(window.PageControl1, &QTabWidget::currentChanged, this, Handler(this, &TSpacedStudy::Open));
    // Leaving spaced review takes its buttons and note away.
    connect(window.OrderGroup, &QButtonGroup::buttonToggled, this, [this](QAbstractButton *button, bool down) {
        if (button == SB_Spaced && !down) {
            currentWord.clear();
            ShowGrades(false);
            L_Due->hide();
        }
    });
}

TSpacedStudy::~TSpacedStudy() = default;

bool TSpacedStudy::IsOn() const { return SB_Spaced->isChecked(); }

void TSpacedStudy::Warn(const std::string &text)
{
    if (warnedFor == review->Log().Path())
        return;
    warnedFor = review->Log().Path();
    ShowErrorMessage(text);
}

SpacedReview &TSpacedStudy::Review()
{
    DeckIdentity now;
    now.path = window.Store.WorkFileName;
    now.kind = window.Cb_Questions->currentIndex();
    struct stat info {};
    if (::stat(now.path.c_str(), &info) == 0) {
        now.size = info.st_size;
        now.modified = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
        now.inode = (long long)info.st_ino;
    }
    if (review && now == opened) {
        review->Log().Reload();
        return *review;
    }
    OpenReview(now.path);
    // The Items that can be asked with the current question kind, by their review words.
    StringList deckWords;
    {
        TextLineReader file(now.path);
        window.Store.ReadColumn(file, deckWords, 1);
    }
    std::vector<bool> askable(deckWords.size(), now.kind == qkWord);
    if (now.kind != qkWord && QuestionFieldNumber(now.kind) != 0) {
        window.Questions.BuildEligiblePool(QuestionFieldNumber(now.kind));
        for (int line : window.Questions.EligiblePool)
            if (size_t(line) < askable.size())
                askable[size_t(line)] = true;
    }
    std::vector<std::string> words(deckWords.size());
    for (size_t i = 0; i < deckWords.size(); ++i)
        if (askable[i])
            words[i] = ReviewWordOf(deckWords[i], window.Store.Text);
    review->SetItems(words);
    opened = now;
    return *review;
}

void TSpacedStudy::OpenReview(const std::string &path)
{
    if (review && review->Log().Path() == ReviewLog::SidecarOf(path))
        return;
    opened = {};
    review = std::make_unique<SpacedReview>(path);
    try {
        review->Open();
    } catch (const std::exception &e) {
        // Nothing is written over a log that could not be read.
        review->saving = false;
        Warn("The review progress of this Deck cannot be read (" + std::string(e.what()) +
             "). You can study on, but the grades you give will not be kept.");
    }
    if (!review->Log().DamagedLines().empty())
        Warn("Line " + std::to_string(review->Log().DamagedLines().front()) + " of " + review->Log().Path() +
             " is damaged and does not count; the other reviews do.");
}

ReviewLog &TSpacedStudy::DeckLog()
{
    OpenReview(window.Store.WorkFileName);
    review->Log().Reload();
    return review->Log();
}

void TSpacedStudy::Open()
{
    if (!IsOn() || window.PageControl1->currentWidget() != window.Tb_Study)
        return;
    const QueueChoice choice = Review().Next(CurrentTime());
    if (choice.item < 0 && currentWord.empty())
        ShowNothingDue(choice.nextDue);
    else
        L_Due->hide();
}

bool TSpacedStudy::SelectNextItem()
{
    const QueueChoice choice = Review().Next(CurrentTime());
    if (choice.item < 0) {
        currentWord.clear();
        ShowNothingDue(choice.nextDue);
        return false;
    }
    L_Due->hide();
    window.Questions.ChooseLine(choice.item);
    const StringList &item = window.Questions.CurrentItem;
    currentWord = item.empty() ? std::string() : ReviewWordOf(item[0], window.Questions.CurrentText);
    return !currentWord.empty();
}

void TSpacedStudy::ShowNothingDue(ReviewTime next)
{
    // The last question goes, so that nothing on the page waits for an answer.
    window.L_WordQ->hide();
    window.M_Def->clear();
    window.Image1->hide();
    window.MediaPlayer1->Close();
    window.State->hide();
    ShowGrades(false);
    L_Due->setText(next == 0 ? QStringLiteral("Nothing to review: no Item can be asked.")
                             : QStringLiteral("Nothing is due now. Next review: ") + LocalTimeText(next));
    L_Due->setAccessibleName(L_Due->text());
    L_Due->show();
}

void TSpacedStudy::AfterGo(bool answerFollows)
{
    ShowGrades(IsOn() && !currentWord.empty() && !answerFollows);
}

void TSpacedStudy::ShowGrades(bool show)
{
    QPushButton *buttons[] = {B_Again, B_Hard, B_Good, B_Easy};
    if (show) {
        const ReviewTime now = CurrentTime();
        const std::array<Card, 4> next = Review().Preview(currentWord, now);
        for (int i = 0; i < 4; ++i) {
            const QString interval = QString::fromStdString(IntervalText(now, next[size_t(i)].due));
            buttons[i]->setText(QLatin1String(GradeCaptions[i]) + QLatin1Char('\n') + interval);
            // After the text, which sets a shortcut of its own.
            buttons[i]->setShortcut(QKeySequence(Qt::Key_1 + i));
            buttons[i]->setAccessibleDescription(QStringLiteral("Next in ") + interval);
        }
    }
    const bool shown = gradesShown;
    gradesShown = show;
    for (QPushButton *button : buttons)
        button->setVisible(show);
    // Go waits while a grade is due; it gets back the state it had.
    if (show && !shown) {
        goEnabledBefore = window.B_Go->isEnabled();
        window.B_Go->setEnabled(false);
        B_Good->setFocus();
    } else if (!show && shown) {
        window.B_Go->setEnabled(goEnabledBefore);
    }
}

void TSpacedStudy::GradeClick(Grade grade)
{
    if (currentWord.empty() || !gradesShown)
        return;
    SpacedReview &spaced = Review();
    const ReviewTime at = std::max(CurrentTime(), spaced.CardOf(currentWord).lastReview);
    try {
        spaced.Record(currentWord, grade, at);
    } catch (const std::exception &e) {
        spaced.saving = false;
        Warn("Your review progress cannot be saved (" + std::string(e.what()) +
             "). You can study on, but the grades you give will not be kept.");
    }
    currentWord.clear();
    ShowGrades(false);
    emit Reviewed();
    window.B_GoClick();
}

void TSpacedStudy::DeckEmptied()
{
    std::remove(ReviewLog::SidecarOf(window.Store.WorkFileName).c_str());
    review.reset();
    opened = {};
    warnedFor.clear();
    currentWord.clear();
    ShowGrades(false);
    L_Due->hide();
}

void TSpacedStudy::DeckCopied(const std::string &from, const std::string &to)
{
    const std::string source = ReviewLog::SidecarOf(from), target = ReviewLog::SidecarOf(to);
    if (from == to || !FileExists(source))
        return;
    try {
        ReplaceFileContent(target, ReadFileBytes(source));
    } catch (const std::exception &e) {
        ShowErrorMessage("The Deck was saved, but its review progress could not be copied beside it (" +
                         std::string(e.what()) + ").");
    }
}

ReviewStatistics TSpacedStudy::Statistics()
{
    SpacedReview &spaced = Review();
    return ComputeStatistics(spaced.Cards(), spaced.Log().History(), CurrentTime());
}

void TSpacedStudy::Statistics1Click()
{
    if (!StatisticsWindow) {
        StatisticsWindow = new TStatisticsWindow(&window, [this] { return Statistics(); });
        connect(this, &TSpacedStudy::Reviewed, StatisticsWindow, &TStatisticsWindow::Refresh);
    }
    StatisticsWindow->Refresh();
    StatisticsWindow->show();
    StatisticsWindow->raise();
    StatisticsWindow->activateWindow();
}
