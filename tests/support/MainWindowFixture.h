#pragma once
// A main window living in a temporary program folder of its own, with scripted dialogs.
#include "app/MainWindow.h"
#include "platform/ImageControl.h"
#include "support/ScriptedDialogs.h"
#include "support/TempFolder.h"

#include <QtWidgets>

#include <gtest/gtest.h>

#include <memory>

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates and shows the window (creation and show steps), with an optional command line.
    TF_Main &Start(const QStringList &arguments = {});
    // Starts it on decks/deck.gsd holding these bytes, named on the command line.
    TF_Main &StartWith(const std::string &deck);
    // Closes it through its close step and forgets it.
    void Close();
    // Forgets it without the close step, as "E&xit" leaves it.
    void Abandon();
    // The bytes of decks/deck.gsd.
    std::string Deck() const { return folder.read("decks/deck.gsd"); }
    // Types the four fields of the Edit page.
    void Fill(const QString &word, const QString &definition = {}, const QString &visual = {}, const QString &audio = {});
    // Clicks the entry of ListBox1 that reads word, as a user picks it.
    void Select(const QString &word);
    // The entries of ListBox1, in order.
    QStringList Listed() const;

    std::string ProgramFile(const std::string &name) const { return folder.file("program/" + name); }
    std::string DeckPath(const std::string &name) const { return folder.file("decks/" + name); }

    TempFolder folder;
    std::unique_ptr<TF_Main> window;

private:
    QString previousCurrentFolder;
};

// A Deck line of the program's own format with CR LF.
std::string DeckLine(const std::string &word, const std::string &frequency, const std::string &definition = "",
                     const std::string &visual = "", const std::string &audio = "");
