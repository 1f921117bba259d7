#include "support/MainWindowFixture.h"

#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"

#include <QDir>

void MainWindowTest::SetUp()
{
    SetAnsiCodePage(1252);
    QDir().mkpath(QString::fromStdString(folder.file("program")));
    QDir().mkpath(QString::fromStdString(folder.file("decks")));
    SetProgramFolderForTesting(folder.file("program"));
    previousCurrentFolder = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder.path()));
}

void MainWindowTest::TearDown()
{
    window.reset();
    QDir::setCurrent(previousCurrentFolder);
    SetProgramFolderForTesting("");
}

TF_Main &MainWindowTest::Start(const QStringList &arguments)
{
    window = std::make_unique<TF_Main>(arguments);
    window->show();
    return *window;
}

TF_Main &MainWindowTest::StartWith(const std::string &deck)
{
    folder.write("decks/deck.gsd", deck);
    return Start({QString::fromStdString(DeckPath("deck.gsd"))});
}

void MainWindowTest::Close()
{
    window->close();
    window.reset();
}

void MainWindowTest::Abandon() { window.reset(); }

std::string DeckLine(const std::string &word, const std::string &frequency, const std::string &definition,
                     const std::string &visual, const std::string &audio)
{
    const std::string s = "\xB6";
    return word + s + frequency + s + definition + s + visual + s + audio + s + "\r\n";
}
