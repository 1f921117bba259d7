#pragma once
// The main window: menu, tool bar, the Edit and Study pages and the status bar, with the
// shell state (flags, recent files, settings) and the Deck store it owns.
#include "app/DeckStore.h"
#include "app/ElasticLayout.h"
#include "app/QuestionEngine.h"
#include "platform/Application.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <memory>

class QAction;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class TAboutBox;
class TDropFileTarget;
class THelpWindow;
class TImage;
class TMediaPlayer;
class TSpacedStudy;
class TDeckSpeech;
class TIniFile;

class TF_Main : public QMainWindow {
    Q_OBJECT
public:
    // arguments: the command line without the program name; as the file system's bytes, or
    // as Qt gives them.
    explicit TF_Main(std::vector<std::string> arguments, QWidget *parent = nullptr);
    explicit TF_Main(const QStringList &arguments = {}, QWidget *parent = nullptr);
    ~TF_Main() override;

    // The status bar's one line of text.
    QString StatusText() const;
    void SetStatusText(const QString &text);

    // Runs FillWordList with the sort menu's choices and shows the result in ListBox1.
    void FillWordList();
    // When another window or program changed the Deck since the list was filled, fills it
    // again (the selected word stays selected) before anything is shown from it.
    void RefreshWhenChangedElsewhere();
    void SaveSettings();

    // --- Shell state ---
    bool Modified = false;
    bool Untitled = true;
    bool DeckLoaded = false;
    StringList RecentFiles;
    std::unique_ptr<TIniFile> Settings;
    DeckStore Store;
    QuestionEngine Questions{Store};
    bool AnswerPending = false;

    // --- Main menu ---
    QMenuBar *MainMenu1;
    QMenu *File1;
    QAction *New1, *Open1, *SaveAs1, *N1, *EXit1;
    QAction *Import1 = nullptr, *Export1 = nullptr;
    QMenu *Help1;
    QAction *Contents1, *About1;
    std::array<QAction *, 5> recentmenu{};

    // --- Tool bar ---
    QToolBar *ToolBar1;
    QToolButton *SB_New, *SB_Open, *SB_Random, *SB_Order, *SB_Freq, *Sb_ShowAnswer, *SB_Answer;
    QButtonGroup *OrderGroup;
    QLabel *QuestionCaption;
    QComboBox *Cb_Questions;
    QFrame *Panel1;
    QCheckBox *Ck_Word, *Ck_Def, *Ck_Visual, *Ck_Audio;

    // --- Pages ---
    QTabWidget *PageControl1;
    QWidget *Tb_Edit, *Tb_Study;

    // Edit page
    QListWidget *ListBox1;
    QPushButton *BitBtn1;
    QLineEdit *T_word, *T_Definition, *T_Visual, *T_Audio;
    QPushButton *B_BrowseV, *B_BrowseA;
    QSlider *TrackBar1;
    QLabel *L_Freq2;
    QPushButton *B_Add, *B_Clear, *B_Delete;
    TImage *PreviewV;
    QLabel *L_UnableV;

    // Study page
    QSplitter *Splitter1;
    QFrame *Bevel2;
    QLabel *State;
    QPushButton *B_Go;
    TMediaPlayer *MediaPlayer1;
    QLabel *L_WordQ;
    QPlainTextEdit *M_Def;
    TImage *Image1;

    QStatusBar *StatusBar1;
    QLabel *StatusLabel;

    // --- Sort menu of the word list ---
    QMenu *PopupMenu1;
    QActionGroup *OrderItems, *KeyItems;
    QAction *Ascending1, *Decending1, *NoSort1, *N2, *SortbyWord1, *SortbyFrequency1;

    TSpacedStudy *Spaced;   // spaced review: its tool button, grade buttons and statistics
    TDeckSpeech *Speech;    // the Items' recordings or spoken words, and the Deck's languages
    ElasticLayout EditLayout, StudyLayout;   // how the pages' controls grow with the window
    TAboutBox *AboutBox;
    THelpWindow *HelpWindow = nullptr;   // made when help is first asked for
    TDropFileTarget *DropFileTarget1, *DropFileTarget2;

    // --- Handlers ---
    void EXit1Click();
    void Contents1Click();
    void About1Click();
    // Registers the Deck file type with the desktop, unless it is registered already.
    void RegisterDeckType();
    void ListBox1MouseDown(const QPoint &position);
    void Ascending1Click();
    void Decending1Click();
    void NoSort1Click();
    void SortbyWord1Click();
    void SortbyFrequency1Click();
    void TrackBar1Change();
    void BitBtn1Click();
    void SB_AnswerClick();
    void ToolBar1Click();
    void CloseAnswerPanel();
    void CheckBoxClick(QCheckBox *box);

    // --- File commands ---
    void SB_NewClick();
    void SB_OpenClick();
    void SaveAs1Click();
    void RecentItemClick(int index);   // recentmenu0click .. recentmenu4click
    // The save question of New and Open: false when the command is to end here.
    bool SavePrompt();
    // Save As with its dialog: false when the user cancelled or declined to overwrite.
    bool SaveAs();
    void LoadDeck(const std::string &path);
    void OpenDeckAsk(const std::string &path);
    void OpenDeckQuiet(const std::string &path);
    void UpdateRecentFiles();
    static const std::string DeckOpenFilter, DeckSaveFilter;
    // Other programs' decks in and out ("&Import...", "&Export...").
    void CreateExchangeCommands();
    void Import1Click();
    void Export1Click();
    void B_ClearClick();
    void DropFileTarget1Drop();
    void DropFileTarget2Drop();
    void ListBox1Click();
    void B_AddClick();
    void B_DeleteClick();
    void B_BrowseVClick();
    void B_BrowseAClick();
    // Loads the visual into PreviewV, or shows why it cannot.
    void ShowPreview(const std::string &visual);
    // The first character of the four fields that the working file cannot hold ("" for none).
    QString CharacterTheDeckCannotHold() const;

    static const std::string VisualFilter, AudioFilter;

    // --- Study ---
    void RebuildPools();
    void B_GoClick();
    void Cb_QuestionsChange();
    void SB_FreqClick();
    void SB_OrderClick();
    void PageControl1Change();
    QuestionEngine::Mode SelectionMode() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void CreateDropTargets();
    void CreateMenus();
    void CreateToolBar();
    void CreateEditPage();
    void CreateStudyPage();
    void CreatePopupMenu();
    void ConnectHandlers();
    void CreationStep();
    void ShowStep();
    void CloseStep();
    void RestoreRecentFiles();
    void RestoreOptions();
    void AttachRecentItem(int index);   // index 0..4: caption "&k path", in the "&File" menu
    void QuestionPhase();
    void AnswerPhase();
    void ShowState(const char *resource);
    // Enables Go, or disables it and says why on the Study page.
    void SetGoEnabled(bool enabled);

    std::vector<std::string> commandLine;
    bool shown = false;
    bool fillingList = false;      // ListBox1 is being refilled: its selection changes are not the user's
    int rowBeforePress = -1;
    StringList shownItem;          // the bytes of the word, definition, visual and audio last selected
    int currentBeforeFocusLeft = -1;   // the list's current entry when it last lost the focus
    QString goReason;              // the status text that says why Go cannot be pressed
};

// Wraps a handler so that an exception leaving it reaches the general error box, as it would
// from any other event handler.
template <typename Object, typename... Args>
auto Handler(Object *object, void (Object::*method)(Args...))
{
    return [object, method](Args... args) {
        try {
            (object->*method)(args...);
        } catch (...) {
            HandleCurrentException();
        }
    };
}
