#include "app/DeckSpeech.h"

#include "app/DeckLanguages.h"
#include "app/ItemSound.h"
#include "app/LanguagesDialog.h"
#include "app/MainWindow.h"
#include "app/SpacedStudy.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/MediaPlayer.h"
#include "speech/SpeechEngine.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

TDeckSpeech::TDeckSpeech(TF_Main &mainWindow) : QObject(&mainWindow), window(mainWindow)
{
    window.Questions.SpeaksWords = SpeechProblem().empty();
    const auto wordLanguage = [this] { return WordLanguage(); };

    // Below the preview, at the fields' right: it sounds the Item the fields hold.
    MediaPlayer2 = new TMediaPlayer(window.Tb_Edit);
    MediaPlayer2->setObjectName(QStringLiteral("MediaPlayer2"));
    MediaPlayer2->setAccessibleName(QStringLiteral("Sound of the Item"));
    MediaPlayer2->setGeometry(472, 164, 85, 25);
    window.EditLayout.Anchor(MediaPlayer2, {0.75, 0.5, 0.75, 0.5});
    QWidget *order[] = {window.B_Delete, MediaPlayer2->PlayButton(), MediaPlayer2->PauseButton(),
                        MediaPlayer2->StopButton(), window.BitBtn1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    EditSound = new TItemSound(*MediaPlayer2, wordLanguage, this);
    for (QLineEdit *field : {window.T_word, window.T_Audio})
        connect(field, &QLineEdit::textChanged, this,
                [this] { EditSound->SetItem(window.T_word->text(), window.T_Audio->text()); });
    StudySound = new TItemSound(*window.MediaPlayer1, wordLanguage, this);

    Speech1 = new QMenu(QStringLiteral("&Speech"), window.MainMenu1);
    Speech1->setObjectName(QStringLiteral("Speech1"));
    window.MainMenu1->insertMenu(window.Help1->menuAction(), Speech1);
    Languages1 = Speech1->addAction(QStringLiteral("&Languages..."));
    Languages1->setObjectName(QStringLiteral("Languages1"));
    SpeakDefinition1 = Speech1->addAction(QStringLiteral("Speak &Definition"));
    SpeakDefinition1->setObjectName(QStringLiteral("SpeakDefinition1"));
    SpeakDefinition1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(Languages1, &QAction::triggered, this, Handler(this, &TDeckSpeech::Languages1Click));
    connect(SpeakDefinition1, &QAction::triggered, this, Handler(this, &TDeckSpeech::SpeakDefinition1Click));
}

void TDeckSpeech::RequireSpeech()
{
    const std::string problem = SpeechProblem();
    if (!problem.empty())
        throw Exception(problem);
}

std::string TDeckSpeech::Language(LanguageChoice (*of)(const ReviewLog &))
{
    LanguageChoice choice;
    std::string log;
    try {
        ReviewLog &deckLog = window.Spaced->DeckLog();
        log = deckLog.Path();
        choice = of(deckLog);
    } catch (const std::exception &) {
        choice = ChooseLanguage("", "");   // a log that cannot be read sets nothing
    }
    if (!choice.problem.empty() && told.insert(log + '\n' + choice.problem).second)
        ShowErrorMessage(choice.problem);
    return choice.language;
}

std::string TDeckSpeech::WordLanguage() { return Language(WordLanguageOf); }

std::string TDeckSpeech::DefinitionLanguage() { return Language(DefinitionLanguageOf); }

void TDeckSpeech::Languages1Click()
{
    RequireSpeech();
    auto *dialog = new TLanguagesDialog(&window, WordLanguage(), DefinitionLanguage());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        try {
            window.Spaced->DeckLog().ChangeSettings(
                {{WordLanguageKey, dialog->WordLanguage()}, {DefinitionLanguageKey, dialog->DefinitionLanguage()}});
        } catch (...) {
            HandleCurrentException();
        }
    });
    dialog->open();
}

void TDeckSpeech::SpeakDefinition1Click()
{
    RequireSpeech();
    // What the page shows: the Study page never speaks a definition it has not shown yet.
    if (window.PageControl1->currentWidget() == window.Tb_Study)
        StudySound->Speak(window.M_Def->toPlainText(), DefinitionLanguage());
    else
        EditSound->Speak(window.T_Definition->text(), DefinitionLanguage());
}
