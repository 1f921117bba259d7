// The main window's creation, show and close steps and its settings file.
#include "app/ButtonImages.h"
#include "app/MainWindow.h"
#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/SpacedStudy.h"
#include "dragdrop/DropTarget.h"
#include "platform/FileTypeRegistration.h"
#include "platform/ProgramIcons.h"

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QToolBar>
#include <QTabWidget>
#include <QToolButton>

#include "platform/MediaPlayer.h"

namespace {
const std::string Options = "Options";
const std::string Recent = "Recent";
} // namespace

void TF_Main::ConnectHandlers()
{
    connect(EXit1, &QAction::triggered, this, Handler(this, &TF_Main::EXit1Click));
    connect(Contents1, &QAction::triggered, this, Handler(this, &TF_Main::Contents1Click));
    connect(About1, &QAction::triggered, this, Handler(this, &TF_Main::About1Click));
    connect(New1, &QAction::triggered, this, Handler(this, &TF_Main::SB_NewClick));
    connect(SB_New, &QToolButton::clicked, this, Handler(this, &TF_Main::SB_NewClick));
    connect(Open1, &QAction::triggered, this, Handler(this, &TF_Main::SB_OpenClick));
    connect(SB_Open, &QToolButton::clicked, this, Handler(this, &TF_Main::SB_OpenClick));
    connect(SaveAs1, &QAction::triggered, this, Handler(this, &TF_Main::SaveAs1Click));
    connect(Ascending1, &QAction::triggered, this, Handler(this, &TF_Main::Ascending1Click));
    connect(Decending1, &QAction::triggered, this, Handler(this, &TF_Main::Decending1Click));
    connect(NoSort1, &QAction::triggered, this, Handler(this, &TF_Main::NoSort1Click));
    connect(SortbyWord1, &QAction::triggered, this, Handler(this, &TF_Main::SortbyWord1Click));
    connect(SortbyFrequency1, &QAction::triggered, this, Handler(this, &TF_Main::SortbyFrequency1Click));
    connect(TrackBar1, &QSlider::valueChanged, this, Handler(this, &TF_Main::TrackBar1Change));
    connect(BitBtn1, &QPushButton::clicked, this, Handler(this, &TF_Main::BitBtn1Click));
    // Only the user's pick reads an Item: a left click, or a keyboard move that selects an entry;
    // also a click on the entry already selected. Focus arriving (by Tab, or back from the sort
    // menu) only makes an entry current, and a refill selects nothing: what the user typed stays.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        const QListWidgetItem *current = ListBox1->currentItem();
        if (current && current->isSelected() && !fillingList)
            Handler(this, &TF_Main::ListBox1Click)();
    });
    connect(ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (ListBox1->row(item) == rowBeforePress)
            Handler(this, &TF_Main::ListBox1Click)();
    });
    connect(B_Add, &QPushButton::clicked, this, Handler(this, &TF_Main::B_AddClick));
    for (QLineEdit *field : {T_word, T_Definition, T_Visual, T_Audio})
        connect(field, &QLineEdit::returnPressed, this, Handler(this, &TF_Main::B_AddClick));
    connect(B_Delete, &QPushButton::clicked, this, Handler(this, &TF_Main::B_DeleteClick));
    connect(B_Clear, &QPushButton::clicked, this, Handler(this, &TF_Main::B_ClearClick));
    connect(B_BrowseV, &QPushButton::clicked, this, Handler(this, &TF_Main::B_BrowseVClick));
    connect(B_BrowseA, &QPushButton::clicked, this, Handler(this, &TF_Main::B_BrowseAClick));
    connect(B_Go, &QPushButton::clicked, this, Handler(this, &TF_Main::B_GoClick));
    connect(Cb_Questions, &QComboBox::currentIndexChanged, this, Handler(this, &TF_Main::Cb_QuestionsChange));
    connect(SB_Freq, &QToolButton::clicked, this, Handler(this, &TF_Main::SB_FreqClick));
    connect(SB_Order, &QToolButton::clicked, this, Handler(this, &TF_Main::SB_OrderClick));
    connect(PageControl1, &QTabWidget::currentChanged, this, Handler(this, &TF_Main::PageControl1Change));
    connect(SB_Answer, &QToolButton::clicked, this, Handler(this, &TF_Main::SB_AnswerClick));
    for (QCheckBox *box : {Ck_Word, Ck_Def, Ck_Visual, Ck_Audio})
        connect(box, &QCheckBox::toggled, this, [this, box] { Handler(this, &TF_Main::CheckBoxClick)(box); });
    // Escape closes the answer panel, wherever the focus is in the window.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &TF_Main::CloseAnswerPanel);
    ListBox1->setContextMenuPolicy(Qt::PreventContextMenu);
    ListBox1->viewport()->installEventFilter(this);
    ListBox1->installEventFilter(this);
    ToolBar1->installEventFilter(this);
    Tb_Edit->installEventFilter(this);
    Bevel2->installEventFilter(this);
}

bool TF_Main::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == ListBox1->viewport() &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::MouseButtonRelease)) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton) {
            if (type == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton)
                ListBox1MouseDown(mouse->position().toPoint());
            return true;   // other buttons neither select an entry nor read it
        }
        if (type != QEvent::MouseButtonRelease)
            rowBeforePress = ListBox1->currentRow();
    } else if (watched == ListBox1 && event->type() == QEvent::ContextMenu &&
               static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        // The menu key opens the sort menu as well, at the current entry.
        const QRect entry = ListBox1->visualItemRect(ListBox1->currentItem());
        ListBox1MouseDown(entry.isValid() ? entry.center() : QPoint(0, 0));
        return true;
    } else if (watched == ListBox1 && (type == QEvent::FocusOut || type == QEvent::FocusIn)) {
        // Only the list with the focus has a current entry: a screen reader takes the current
        // entry for the focused one. The entry comes back with the focus; the selection stays.
        QItemSelectionModel *entries = ListBox1->selectionModel();
        if (type == QEvent::FocusOut) {
            currentBeforeFocusLeft = ListBox1->currentRow();
            entries->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        } else if (currentBeforeFocusLeft >= 0 && currentBeforeFocusLeft < ListBox1->count()) {
            entries->setCurrentIndex(ListBox1->model()->index(currentBeforeFocusLeft, 0), QItemSelectionModel::NoUpdate);
        }
    } else if (watched == ToolBar1 && event->type() == QEvent::MouseButtonRelease) {
        ToolBar1Click();
    } else if (watched == Tb_Edit && type == QEvent::Resize) {
        // The window's minimum size is its default size, where every control has its own place.
        EditLayout.Apply(size() - minimumSize());
        // The list runs from below its strip to the bottom of the page.
        ListBox1->resize(ListBox1->width(), std::max(0, Tb_Edit->height() - 25));
    } else if (watched == Bevel2 && type == QEvent::Resize) {
        // The left pane of the Study page grows in width with its splitter, in height with the window.
        StudyLayout.Apply(QSize(Bevel2->width() - Bevel2->minimumWidth(), height() - minimumHeight()));
    }
    return QMainWindow::eventFilter(watched, event);
}

void TF_Main::changeEvent(QEvent *event)
{
    // Coming back from another window, which may have changed the same Deck.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && shown) {
        try {
            RefreshWhenChangedElsewhere();
        } catch (...) {
            HandleCurrentException();
        }
    }
    QMainWindow::changeEvent(event);
}

void TF_Main::CreationStep()
{
    Modified = false;
    Untitled = true;
    DeckLoaded = false;
    Store.Bind(ScratchFilePath());
    for (int i = 0; i < 5; ++i) {
        recentmenu[size_t(i)] = new QAction(this);
        recentmenu[size_t(i)]->setObjectName(QStringLiteral("recentmenu%1").arg(i));
        connect(recentmenu[size_t(i)], &QAction::triggered, this,
                [this, i] { Handler(this, &TF_Main::RecentItemClick)(i); });
    }
    Settings = std::make_unique<TIniFile>(SettingsFilePath());
    // The scratch file is emptied at every start; a failure here reaches the error box.
    // Either way there is nothing to ask yet.
    SetGoEnabled(false);
    CreateEmptyFile(Store.WorkFileName);
    Spaced->DeckEmptied();
    DropFileTarget1->RegisterTarget(T_Visual);
    DropFileTarget2->RegisterTarget(T_Audio);
}

void TF_Main::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (shown)
        return;
    shown = true;
    try {
        ShowStep();
    } catch (...) {
        HandleCurrentException();
    }
}

void TF_Main::ShowStep()
{
    // The first thing a user does is type a word.
    T_word->setFocus();
    SB_Freq->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::Frequency, QColor(255, 255, 255)), QColor(255, 255, 255)));
    Sb_ShowAnswer->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::ShowAnswer, QColor(0, 128, 0)), QColor(0, 128, 0)));
    SB_New->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::New, QColor(128, 128, 128)), QColor(128, 128, 128)));
    New1->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::New, QColor(255, 0, 0)), QColor(255, 0, 0)));

    SetStatusText(QStringLiteral("New file loaded"));
    RestoreRecentFiles();
    RestoreOptions();
    if (!commandLine.empty())
        OpenDeckQuiet(commandLine.front());
    RegisterDeckType();
}

void TF_Main::RestoreRecentFiles()
{
    RecentFiles.clear();
    for (int i = 0; i < 5; ++i)
        RecentFiles.push_back(Settings->ReadString(Recent, "File" + std::to_string(i), ""));
    // Only the leading run of non-empty paths gets menu entries.
    size_t entries = 0;
    while (entries < RecentFiles.size() && !RecentFiles[entries].empty())
        ++entries;
    for (size_t k = 0; k < entries; ++k)
        AttachRecentItem(int(k));
    RecentFiles.resize(entries);
}

void TF_Main::AttachRecentItem(int index)
{
    QAction *item = recentmenu[size_t(index)];
    item->setText(QStringLiteral("&%1 ").arg(index + 1) + PathFromNative(RecentFiles[size_t(index)]));
    if (!File1->actions().contains(item))
        File1->addAction(item);
}

void TF_Main::RestoreOptions()
{
    // Restoring sets the controls without running their handlers; only the answer check
    // boxes react, as they always do when checked.
    const int question = Settings->ReadInteger(Options, "Question", 0);
    {
        const QSignalBlocker blocker(Cb_Questions);
        Cb_Questions->setCurrentIndex(question >= 0 && question < Cb_Questions->count() ? question : -1);
    }
    QCheckBox *asked[] = {Ck_Word, Ck_Def, Ck_Visual, Ck_Audio};
    (question >= 0 && question < 4 ? asked[question] : Ck_Word)->setEnabled(false);

    Ck_Word->setChecked(Settings->ReadBool(Options, "AWord", false));
    Ck_Def->setChecked(Settings->ReadBool(Options, "ADef", false));
    Ck_Visual->setChecked(Settings->ReadBool(Options, "AVisual", false));
    Ck_Audio->setChecked(Settings->ReadBool(Options, "AAudio", false));

    const QSignalBlocker randomBlocker(SB_Random), orderBlocker(SB_Order), freqBlocker(SB_Freq),
        answerBlocker(Sb_ShowAnswer);
    (Settings->ReadBool(Options, "Random", true) ? SB_Random : SB_Order)->setChecked(true);
    if (Settings->ReadBool(Options, "Spaced", false))
        Spaced->SB_Spaced->setChecked(true);
    SB_Freq->setChecked(Settings->ReadBool(Options, "Freq", false));
    Sb_ShowAnswer->setChecked(Settings->ReadBool(Options, "Answer", false));

    const int sort = Settings->ReadInteger(Options, "Sort", 0);
    Ascending1->setChecked(sort == 0);
    Decending1->setChecked(sort == 1);
    NoSort1->setChecked(sort == 2);

    const bool byWord = Settings->ReadBool(Options, "Sortby", true);
    SortbyWord1->setChecked(byWord);
    SortbyFrequency1->setChecked(!byWord);
    NoSort1->setEnabled(byWord);
}

void TF_Main::closeEvent(QCloseEvent *event)
{
    // Words added to the scratch file would be emptied away at the next start: the user is
    // asked first, as New and Open ask, and Cancel keeps the program open.
    bool leave = false;
    try {
        leave = SavePrompt();
    } catch (...) {
        HandleCurrentException();
    }
    if (!leave) {
        event->ignore();
        return;
    }
    try {
        CloseStep();
    } catch (...) {
        HandleCurrentException();
    }
    event->accept();
}

void TF_Main::CloseStep()
{
    Store.WorkList.clear();
    Store.FileWords.clear();
    Store.ItemCount = 0;
    try {
        SaveSettings();
    } catch (const EIniFileException &) {
        // The window closes all the same; the Deck on disk is untouched.
        HandleCurrentException();
    }
    MediaPlayer1->Close();
    DropFileTarget1->UnregisterTarget();
    DropFileTarget2->UnregisterTarget();
}

void TF_Main::SaveSettings()
{
    const int question = Cb_Questions->currentIndex();
    Settings->WriteInteger(Options, "Question", question);
    Settings->WriteBool(Options, "AWord", question == 0 ? false : Ck_Word->isChecked());
    Settings->WriteBool(Options, "ADef", question == 1 ? false : Ck_Def->isChecked());
    Settings->WriteBool(Options, "AVisual", question == 2 ? false : Ck_Visual->isChecked());
    Settings->WriteBool(Options, "AAudio", question == 3 ? false : Ck_Audio->isChecked());
    Settings->WriteBool(Options, "Random", SB_Random->isChecked());
    Settings->WriteBool(Options, "Freq", SB_Freq->isChecked());
    Settings->WriteBool(Options, "Answer", Sb_ShowAnswer->isChecked());
    Settings->WriteInteger(Options, "Sort",
                           Ascending1->isChecked() ? 0 : Decending1->isChecked() ? 1 : NoSort1->isChecked() ? 2 : 0);
    while (RecentFiles.size() < 5)
        RecentFiles.push_back(std::string{});
    Settings->WriteBool(Options, "Sortby", SortbyWord1->isChecked());
    Settings->WriteBool(Options, "Spaced", Spaced->IsOn());
    for (int i = 0; i < 5; ++i)
        Settings->WriteString(Recent, "File" + std::to_string(i), RecentFiles[size_t(i)]);
}

void TF_Main::EXit1Click()
{
    // Leaves as closing the window does: the save question, then the close step.
    if (close())
        QCoreApplication::exit(0);
}

void TF_Main::CheckBoxClick(QCheckBox *box)
{
    if (box->isChecked())
        Sb_ShowAnswer->setChecked(true);
}

void TF_Main::SB_AnswerClick()
{
    if (Panel1->height() <= 0) {
        const QPoint below = SB_Answer->mapTo(this, QPoint(0, SB_Answer->height()));
        Panel1->setGeometry(below.x(), ToolBar1->geometry().bottom() + 1, 80, 83);
        Panel1->show();
        Panel1->raise();
    } else {
        CloseAnswerPanel();
    }
}

void TF_Main::ToolBar1Click() { CloseAnswerPanel(); }

void TF_Main::CloseAnswerPanel()
{
    Panel1->setGeometry(Panel1->x(), Panel1->y(), 80, 0);
    Panel1->hide();
}

void TF_Main::RegisterDeckType() { CurrentFileTypeRegistration().Register(); }

void TF_Main::Contents1Click()
{
    if (!HelpWindow)
        HelpWindow = new THelpWindow(this);
    HelpWindow->ShowFile(ProgramFolder() + "/glossad.hlp");
}

void TF_Main::About1Click()
{
    AboutBox->show();
    AboutBox->raise();
    AboutBox->activateWindow();
}
