#pragma once
// Spaced review on the Study page: the tool button that chooses it beside Random and In Order,
// the four grade buttons shown with the answer, the note when nothing is due, the Statistics
// window, and the Deck's review log kept in step with the working file.
#include "review/ReviewStatistics.h"
#include "review/SpacedReview.h"

#include <QObject>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class TF_Main;
class TStatisticsWindow;

class TSpacedStudy : public QObject {
    Q_OBJECT
public:
    explicit TSpacedStudy(TF_Main &window);
    ~TSpacedStudy() override;

    bool IsOn() const;
    // The question phase's choice: the Item due next into the question engine's CurrentItem;
    // false, with a note on the page, when nothing is due.
    bool SelectNextItem();
    // After a press of Go: the grade buttons come once the answer is out (or no answer will follow).
    void AfterGo(bool answerFollows);
    void GradeClick(Grade grade);
    // The Deck was emptied (New, or the scratch Deck at start): its reviews go with its Items.
    void DeckEmptied();
    // Save As copied the Deck: its reviews go with it.
    void DeckCopied(const std::string &from, const std::string &to);
    // The numbers of the Statistics window for the working file.
    ReviewStatistics Statistics();
    void Statistics1Click();
    // The working file's review log, read again when it changed: the one writer of its
    // settings while the window is open.
    ReviewLog &DeckLog();

    QToolButton *SB_Spaced;
    QMenu *Review1;
    QAction *Statistics1;
    QLabel *L_Due;                       // "Nothing is due ..."
    QPushButton *B_Again, *B_Hard, *B_Good, *B_Easy;

signals:
    void Reviewed();

private:
    // The review of the working file with its askable Items as the file now holds them.
    SpacedReview &Review();
    // The review of the Deck at this path, opened unless it is open already.
    void OpenReview(const std::string &path);
    void Open();
    void ShowGrades(bool show);
    void ShowNothingDue(ReviewTime next);
    // Tells the user once per log what keeps progress from being read or saved.
    void Warn(const std::string &text);

    TF_Main &window;
    std::unique_ptr<SpacedReview> review;
    struct DeckIdentity {
        std::string path;
        long long size = -1, modified = -1, inode = -1;
        int kind = -2;
        bool operator==(const DeckIdentity &) const = default;
    } opened;
    std::string currentWord;
    std::string warnedFor;
    bool goEnabledBefore = true;
    bool gradesShown = false;
    TStatisticsWindow *StatisticsWindow = nullptr;
};
