#include "support/MainWindowFixture.h"

#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QTest>

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

void MainWindowTest::Fill(const QString &word, const QString &definition, const QString &visual, const QString &audio)
{
    window->T_word->setText(word);
    window->T_Definition->setText(definition);
    window->T_Visual->setText(visual);
    window->T_Audio->setText(audio);
}

void MainWindowTest::Select(const QString &word)
{
    const auto items = window->ListBox1->findItems(word, Qt::MatchExactly);
    ASSERT_FALSE(items.isEmpty()) << word.toStdString();
    const QRect rect = window->ListBox1->visualItemRect(items.first());
    QTest::mouseClick(window->ListBox1->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList MainWindowTest::Listed() const
{
    QStringList words;
    for (int i = 0; i < window->ListBox1->count(); ++i)
        words << window->ListBox1->item(i)->text();
    return words;
}

std::string DeckLine(const std::string &word, const std::string &frequency, const std::string &definition,
                     const std::string &visual, const std::string &audio)
{
    const std::string s = "\xB6";
    return word + s + frequency + s + definition + s + visual + s + audio + s + "\r\n";
}
