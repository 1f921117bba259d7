#include "app/MainWindow.h"

#include "app/ButtonImages.h"
#include "app/AboutBox.h"
#include "app/DeckSpeech.h"
#include "app/SpacedStudy.h"
#include "dragdrop/DropTarget.h"
#include "platform/Accessibility.h"
#include "platform/CodePage.h"
#include "platform/ProgramIcons.h"
#include "platform/ImageControl.h"
#include "platform/IniFile.h"
#include "platform/MediaPlayer.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

// The state pictures live in this library's resources, which a static library must register.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace {

template <typename Widget>
Widget *Named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QAction *NamedAction(QObject *owner, const char *name, const QString &caption)
{
    auto *action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QToolButton *ToolButton(QToolBar *bar, const char *name, const QString &hint, bool toggle)
{
    auto *button = Named(toggle ? new TToggleButton(bar) : new QToolButton(bar), name);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setAutoRaise(true);
    button->setFixedSize(23, 22);
    bar->addWidget(button);
    return button;
}

// Of the width the Edit page gains, the list takes a quarter, the fields half and the preview
// the rest; the preview also takes half of the height gained.
constexpr double ListGrows = 0.25, FieldsGrow = 0.5, PreviewGrowsDown = 0.5;
constexpr EdgeShares BesideList{ListGrows, 0, ListGrows, 0}, Field{ListGrows, 0, ListGrows + FieldsGrow, 0},
    BesideFields{ListGrows + FieldsGrow, 0, ListGrows + FieldsGrow, 0};

// A field with its caption to the left; the caption is the field's accessible name.
QLineEdit *CaptionedField(QWidget *page, ElasticLayout &layout, const char *name, const QString &caption, int left,
                          int top, int width)
{
    auto *label = new QLabel(caption, page);
    label->setGeometry(left - 64, top + 3, 60, 17);
    layout.Anchor(label, BesideList);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *field = Named(new QLineEdit(page), name);
    field->setGeometry(left, top, width, 21);
    layout.Anchor(field, Field);
    field->setAccessibleName(caption);
    label->setBuddy(field);
    // Only the drop targets of the program take drops; a text drop into a field would not.
    field->setAcceptDrops(false);
    return field;
}

QPushButton *Button(QWidget *page, const char *name, const QString &caption, QRect geometry)
{
    auto *button = Named(new QPushButton(caption, page), name);
    button->setGeometry(geometry);
    // Enter presses the button that has the focus, as Space does.
    button->setAutoDefault(true);
    return button;
}

std::vector<std::string> NativePaths(const QStringList &paths)
{
    std::vector<std::string> native;
    for (const QString &path : paths)
        native.push_back(NativePath(path));
    return native;
}

} // namespace

TF_Main::TF_Main(const QStringList &arguments, QWidget *parent) : TF_Main(NativePaths(arguments), parent) {}

TF_Main::TF_Main(std::vector<std::string> arguments, QWidget *parent) : QMainWindow(parent), commandLine(std::move(arguments))
{
    InitResources();
    setObjectName(QStringLiteral("F_Main"));
    setWindowTitle(QStringLiteral("Glossadrome"));
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon(48))));
    resize(590, 387);
    setMinimumSize(590, 387);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    CreateMenus();
    CreateToolBar();

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    setCentralWidget(PageControl1);
    Tb_Edit = Named(new QWidget, "Tb_Edit");
    Tb_Study = Named(new QWidget, "Tb_Study");
    PageControl1->addTab(Tb_Edit, QStringLiteral("Edit"));
    PageControl1->addTab(Tb_Study, QStringLiteral("Study"));
    CreateEditPage();
    CreateStudyPage();
    CreatePopupMenu();
    Spaced = new TSpacedStudy(*this);
    Speech = new TDeckSpeech(*this);

    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusLabel = new QLabel(StatusBar1);
    StatusLabel->setAccessibleDescription(QStringLiteral("Status"));
    StatusBar1->addWidget(StatusLabel, 1);
    StatusBar1->setSizeGripEnabled(true);
    setStatusBar(StatusBar1);

    // The answer panel hangs over the page, under its tool button.
    Panel1->raise();

    AboutBox = new TAboutBox(this);
    AboutBox->hide();
    CreateDropTargets();

    ConnectHandlers();
    try {
        CreationStep();
    } catch (...) {
        // The window still opens; the user has seen why the scratch file is missing.
        HandleCurrentException();
    }
}

TF_Main::~TF_Main() { delete PopupMenu1; }

void TF_Main::CreateDropTargets()
{
    auto make = [this](const char *name, void (TF_Main::*handler)()) {
        auto *target = new TDropFileTarget(this);
        target->SetName(QString::fromLatin1(name));
        target->Dragtypes = {dtCopy};
        target->GetDataOnEnter = false;
        target->ShowImage = true;
        target->OnDrop = [this, handler](QObject *, TShiftState, QPoint, TDropEffect &) { (this->*handler)(); };
        return target;
    };
    DropFileTarget1 = make("DropFileTarget1", &TF_Main::DropFileTarget1Drop);
    DropFileTarget2 = make("DropFileTarget2", &TF_Main::DropFileTarget2Drop);
}

void TF_Main::CreateMenus()
{
    MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    setMenuBar(MainMenu1);
    File1 = Named(MainMenu1->addMenu(QStringLiteral("&File")), "File1");
    New1 = NamedAction(this, "New1", QStringLiteral("&New"));
    New1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    Open1 = NamedAction(this, "Open1", QStringLiteral("&Open"));
    Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveAs1 = NamedAction(this, "SaveAs1", QStringLiteral("Save &As"));
    N1 = NamedAction(this, "N1", QString());
    N1->setSeparator(true);
    EXit1 = NamedAction(this, "EXit1", QStringLiteral("E&xit"));
    File1->addActions({New1, Open1, SaveAs1, N1, EXit1});
    CreateExchangeCommands();
    Help1 = Named(MainMenu1->addMenu(QStringLiteral("Help")), "Help1");
    Contents1 = NamedAction(this, "Contents1", QStringLiteral("Contents"));
    Contents1->setShortcut(QKeySequence::HelpContents);
    About1 = NamedAction(this, "About1", QStringLiteral("About"));
    Help1->addActions({Contents1, About1});
}

void TF_Main::CreateToolBar()
{
    ToolBar1 = Named(new QToolBar(this), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(29);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    SB_New = ToolButton(ToolBar1, "SB_New", QStringLiteral("New"), false);
    SB_Open = ToolButton(ToolBar1, "SB_Open", QStringLiteral("Open"), false);
    ToolBar1->addSeparator();
    SB_Random = ToolButton(ToolBar1, "SB_Random", QStringLiteral("Random"), true);
    SB_Order = ToolButton(ToolBar1, "SB_Order", QStringLiteral("In Order"), true);
    OrderGroup = new QButtonGroup(this);
    OrderGroup->setExclusive(true);
    OrderGroup->addButton(SB_Random);
    OrderGroup->addButton(SB_Order);
    SB_Random->setChecked(true);

    QuestionCaption = new QLabel(QStringLiteral(" Question "), ToolBar1);
    ToolBar1->addWidget(QuestionCaption);
    Cb_Questions = Named(new QComboBox(ToolBar1), "Cb_Questions");
    Cb_Questions->addItems({QStringLiteral("Word"), QStringLiteral("Definition"), QStringLiteral("Visual"),
                            QStringLiteral("Audio")});
    Cb_Questions->setAccessibleName(QStringLiteral("Question"));
    Cb_Questions->setCurrentIndex(-1);
    QuestionCaption->setBuddy(Cb_Questions);
    ToolBar1->addWidget(Cb_Questions);

    SB_Freq = ToolButton(ToolBar1, "SB_Freq", QStringLiteral("Frequency in effect"), true);
    Sb_ShowAnswer = ToolButton(ToolBar1, "Sb_ShowAnswer", QStringLiteral("Show Answer"), true);
    SB_Answer = Named(new QToolButton(ToolBar1), "SB_Answer");
    SB_Answer->setText(QStringLiteral("Answers"));
    SB_Answer->setAccessibleName(QStringLiteral("Answers"));
    SB_Answer->setAutoRaise(true);
    SB_Answer->setFixedHeight(22);
    ToolBar1->addWidget(SB_Answer);

    // The images before show step sets their transparent colours: drawn on their grounds.
    SB_New->setIcon(QIcon(QPixmap::fromImage(DrawButtonImage(ButtonImageKind::New, QColor(128, 128, 128)))));
    SB_Open->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::Open, Qt::white), Qt::white));
    SB_Random->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::Random, Qt::white), Qt::white));
    SB_Order->setIcon(ButtonIcon(DrawButtonImage(ButtonImageKind::Order, Qt::white), Qt::white));
    SB_Freq->setIcon(QIcon(QPixmap::fromImage(DrawButtonImage(ButtonImageKind::Frequency, QColor(255, 255, 255)))));
    Sb_ShowAnswer->setIcon(
        QIcon(QPixmap::fromImage(DrawButtonImage(ButtonImageKind::ShowAnswer, QColor(0, 128, 0)))));
    New1->setIcon(QIcon(QPixmap::fromImage(DrawButtonImage(ButtonImageKind::New, QColor(255, 0, 0)))));

    Panel1 = Named(new QFrame(this), "Panel1");
    Panel1->setAccessibleName(QStringLiteral("Answers"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setAutoFillBackground(true);
    Ck_Word = Named(new QCheckBox(QStringLiteral("Word"), Panel1), "Ck_Word");
    Ck_Def = Named(new QCheckBox(QStringLiteral("Definition"), Panel1), "Ck_Def");
    Ck_Visual = Named(new QCheckBox(QStringLiteral("Visual"), Panel1), "Ck_Visual");
    Ck_Audio = Named(new QCheckBox(QStringLiteral("Audio"), Panel1), "Ck_Audio");
    int top = 2;
    for (QCheckBox *box : {Ck_Word, Ck_Def, Ck_Visual, Ck_Audio}) {
        // The panel is only 80 pixels wide: a slightly smaller font keeps "Definition" whole.
        QFont font = box->font();
        font.setPixelSize(11);
        box->setFont(font);
        box->setGeometry(3, top, 76, 19);
        top += 20;
    }
    Panel1->setGeometry(0, 0, 80, 0);
    Panel1->hide();
}

void TF_Main::CreateEditPage()
{
    QWidget *page = Tb_Edit;
    BitBtn1 = Button(page, "BitBtn1", QStringLiteral("Refresh"), QRect(24, 5, 65, 17));
    BitBtn1->setToolTip(QStringLiteral("Refresh the list"));
    ListBox1 = Named(new QListWidget(page), "ListBox1");
    ListBox1->setGeometry(0, 25, 113, 260);   // the height follows the page's
    EditLayout.Anchor(ListBox1, {0, 0, ListGrows, 0});
    ListBox1->setUniformItemSizes(true);
    ListBox1->setAccessibleName(QStringLiteral("Words"));
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListBox1->setAcceptDrops(false);
    ListBox1->viewport()->setAcceptDrops(false);

    T_word = CaptionedField(page, EditLayout, "T_word", QStringLiteral("Word"), 184, 32, 241);
    T_Definition = CaptionedField(page, EditLayout, "T_Definition", QStringLiteral("Definition"), 184, 64, 241);
    T_Visual = CaptionedField(page, EditLayout, "T_Visual", QStringLiteral("Visual"), 184, 96, 241);
    B_BrowseV = Button(page, "B_BrowseV", QStringLiteral("..."), QRect(427, 95, 22, 22));
    B_BrowseV->setAccessibleName(QStringLiteral("Browse for a picture"));
    T_Audio = CaptionedField(page, EditLayout, "T_Audio", QStringLiteral("Audio"), 184, 128, 241);
    B_BrowseA = Button(page, "B_BrowseA", QStringLiteral("..."), QRect(427, 127, 22, 22));
    B_BrowseA->setAccessibleName(QStringLiteral("Browse for a sound file"));
    EditLayout.Anchor(B_BrowseV, BesideFields);
    EditLayout.Anchor(B_BrowseA, BesideFields);

    auto *frequencyCaption = new QLabel(QStringLiteral("Frequency"), page);
    frequencyCaption->setGeometry(160, 164, 78, 17);
    frequencyCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    L_Freq2 = Named(new QLabel(page), "L_Freq2");
    L_Freq2->setGeometry(242, 164, 12, 17);
    L_Freq2->setAccessibleDescription(QStringLiteral("Frequency"));
    TrackBar1 = Named(new QSlider(Qt::Horizontal, page), "TrackBar1");
    TrackBar1->setGeometry(256, 160, 150, 33);
    TrackBar1->setRange(0, 5);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickInterval(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setValue(2);
    TrackBar1->setToolTip(QStringLiteral("Frequency of this item showing up"));
    TrackBar1->setAccessibleName(QStringLiteral("Frequency"));
    frequencyCaption->setBuddy(TrackBar1);

    B_Add = Button(page, "B_Add", QStringLiteral("Add/Update"), QRect(200, 224, 75, 25));
    B_Clear = Button(page, "B_Clear", QStringLiteral("Clear"), QRect(288, 224, 75, 25));
    B_Delete = Button(page, "B_Delete", QStringLiteral("Delete"), QRect(376, 224, 75, 25));
    for (QWidget *control : std::initializer_list<QWidget *>{frequencyCaption, L_Freq2, TrackBar1, B_Add, B_Clear, B_Delete})
        EditLayout.Anchor(control, BesideList);

    auto *previewCaption = new QLabel(QStringLiteral("Preview"), page);
    previewCaption->setGeometry(472, 56, 89, 15);
    PreviewV = Named(new TImage(page), "PreviewV");
    PreviewV->setGeometry(472, 72, 89, 81);
    PreviewV->SetStretch(true);
    PreviewV->SetTransparent(true);
    PreviewV->setAccessibleDescription(QStringLiteral("Preview"));
    PreviewV->hide();
    L_UnableV = Named(new QLabel(QStringLiteral("Unable to load"), page), "L_UnableV");
    // Centred over the preview box, and as wide as its text needs, whatever the font.
    const QRect previewBox = PreviewV->geometry();
    const int unableWidth = std::max(previewBox.width(), L_UnableV->sizeHint().width());
    L_UnableV->setGeometry(previewBox.center().x() - unableWidth / 2, previewBox.center().y() - 8, unableWidth,
                           std::max(17, L_UnableV->sizeHint().height()));
    L_UnableV->setAlignment(Qt::AlignCenter);
    L_UnableV->hide();
    constexpr double previewLeft = ListGrows + FieldsGrow;
    EditLayout.Anchor(previewCaption, {previewLeft, 0, 1, 0});
    EditLayout.Anchor(PreviewV, {previewLeft, 0, 1, PreviewGrowsDown});
    // The label stays over the preview's middle.
    constexpr double middle = (previewLeft + 1) / 2, halfway = PreviewGrowsDown / 2;
    EditLayout.Anchor(L_UnableV, {middle, halfway, middle, halfway});

    // Tab order: the fields first, then the buttons, the refresh button and the list.
    QWidget *order[] = {T_word, T_Definition, T_Visual, B_BrowseV, T_Audio, B_BrowseA,
                        TrackBar1, B_Add, B_Clear, B_Delete, BitBtn1, ListBox1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void TF_Main::CreateStudyPage()
{
    Splitter1 = Named(new QSplitter(Qt::Horizontal, Tb_Study), "Splitter1");
    auto *layout = new QHBoxLayout(Tb_Study);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1);

    Bevel2 = Named(new QFrame, "Bevel2");
    Bevel2->setFrameShape(QFrame::StyledPanel);
    Bevel2->setMinimumWidth(217);
    Splitter1->addWidget(Bevel2);

    State = Named(new QLabel(Bevel2), "State");
    State->setGeometry(5, 8, 30, 30);
    State->setAccessibleDescription(QStringLiteral("Phase"));
    B_Go = Button(Bevel2, "B_Go", QStringLiteral("Go"), QRect(45, 8, 75, 25));
    MediaPlayer1 = Named(new TMediaPlayer(Bevel2), "MediaPlayer1");
    MediaPlayer1->setGeometry(128, 8, 85, 25);
    auto *wordCaption = new QLabel(QStringLiteral("Word"), Bevel2);
    wordCaption->move(96, 48);
    wordCaption->resize(wordCaption->sizeHint());
    L_WordQ = Named(new QLabel(Bevel2), "L_WordQ");
    L_WordQ->setGeometry(8, 80, 201, 24);
    L_WordQ->setAlignment(Qt::AlignCenter);
    QFont wordFont = L_WordQ->font();
    wordFont.setPixelSize(20);
    L_WordQ->setFont(wordFont);
    L_WordQ->setAccessibleDescription(wordCaption->text());
    auto *definitionCaption = new QLabel(QStringLiteral("Definition"), Bevel2);
    definitionCaption->move(80, 136);
    definitionCaption->resize(definitionCaption->sizeHint());
    M_Def = Named(new QPlainTextEdit(Bevel2), "M_Def");
    M_Def->setGeometry(8, 152, 201, 89);
    // It shows the answer: the keyboard may read and select it, and Tab leaves it.
    M_Def->setReadOnly(true);
    M_Def->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    M_Def->setTabChangesFocus(true);
    QFont definitionFont = M_Def->font();
    definitionFont.setPixelSize(19);
    M_Def->setFont(definitionFont);
    M_Def->setAccessibleDescription(definitionCaption->text());
    // A screen reader names the memo by the definition it shows.
    connect(M_Def, &QPlainTextEdit::textChanged, M_Def, [this] { M_Def->setAccessibleName(M_Def->toPlainText()); });
    M_Def->setAcceptDrops(false);
    // The word and the definition take the width the pane gains; the definition the height too.
    constexpr EdgeShares centred{0.5, 0, 0.5, 0};
    StudyLayout.Anchor(wordCaption, centred);
    StudyLayout.Anchor(L_WordQ, {0, 0, 1, 0});
    StudyLayout.Anchor(definitionCaption, centred);
    StudyLayout.Anchor(M_Def, {0, 0, 1, 1});

    Image1 = Named(new TImage, "Image1");
    Image1->setAccessibleDescription(QStringLiteral("Picture"));
    Splitter1->addWidget(Image1);
    Splitter1->setCollapsible(0, false);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({217, 373});
}

void TF_Main::CreatePopupMenu()
{
    // A pop-up of its own, without parent window: the accessibility tree lists it beside the
    // program's windows while it is open (see platform/Accessibility.h).
    PopupMenu1 = Named(new QMenu, "PopupMenu1");
    Ascending1 = NamedAction(this, "Ascending1", QStringLiteral("&Ascending"));
    Decending1 = NamedAction(this, "Decending1", QStringLiteral("&Decending"));
    NoSort1 = NamedAction(this, "NoSort1", QStringLiteral("&No Sort"));
    N2 = NamedAction(this, "N2", QString());
    N2->setSeparator(true);
    SortbyWord1 = NamedAction(this, "SortbyWord1", QStringLiteral("Sort by &Word"));
    SortbyFrequency1 = NamedAction(this, "SortbyFrequency1", QStringLiteral("Sort by &Frequency"));
    OrderItems = new QActionGroup(this);
    // A settings file may leave none of the order items checked.
    OrderItems->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    KeyItems = new QActionGroup(this);
    for (QAction *item : {Ascending1, Decending1, NoSort1}) {
        item->setCheckable(true);
        OrderItems->addAction(item);
    }
    for (QAction *item : {SortbyWord1, SortbyFrequency1}) {
        item->setCheckable(true);
        KeyItems->addAction(item);
    }
    SortbyWord1->setChecked(true);
    PopupMenu1->addActions({Ascending1, Decending1, NoSort1, N2, SortbyWord1, SortbyFrequency1});
}

QString TF_Main::StatusText() const { return StatusLabel->text(); }

void TF_Main::SetStatusText(const QString &text) { StatusLabel->setText(text); }
