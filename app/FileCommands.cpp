// File commands: which Deck file is the working file, and the recent-file entries.
#include "app/MainWindow.h"

#include "app/SpacedStudy.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/ImageControl.h"
#include "platform/MediaPlayer.h"
#include "platform/ProgramFolder.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

const std::string TF_Main::DeckOpenFilter = "Glossadrome Data Files [*.gsd]|*.gsd";
const std::string TF_Main::DeckSaveFilter = "Glossadrome Data File [*.gsd]|*.gsd";

namespace {
// A relative path names a file of the current folder; the Deck keeps the full path, since
// opening it changes the current folder. The path's own bytes are kept as they are.
std::string AbsolutePath(const std::string &path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char *current = ::getcwd(nullptr, 0);
    if (!current)
        return path;
    std::string absolute = current;
    std::free(current);
    if (absolute.back() != '/')
        absolute += '/';
    return absolute + path;
}
} // namespace

bool TF_Main::SavePrompt()
{
    if (!(Modified && Untitled))
        return true;
    switch (AskConfirmation("The file has modified. Would you like to save the file?")) {
    case MsgResult::Yes:
        // Items the user chose to keep are not thrown away when the saving did not happen.
        return SaveAs();
    case MsgResult::No:
        return true;
    default:
        return false;
    }
}

void TF_Main::SB_NewClick()
{
    if (!SavePrompt())
        return;
    Store.Bind(ScratchFilePath());
    Store.CreateEmpty();
    // Nothing is left to save once the scratch file is empty.
    Modified = false;
    Spaced->DeckEmptied();
    B_ClearClick();
    ListBox1->clear();
    Untitled = true;
    SetStatusText(QStringLiteral("New file loaded."));
    PreviewV->hide();
    L_UnableV->hide();
    Image1->hide();
    MediaPlayer1->Close();
    L_WordQ->hide();
    M_Def->clear();
    State->hide();
    DeckLoaded = false;
    RebuildPools();
}

void TF_Main::SB_OpenClick()
{
    if (!SavePrompt())
        return;
    const auto path = Dialogs().openFileName({DeckOpenFilter, "", "Open"});
    if (!path)
        return;
    if (!FileCanBeRead(*path)) {
        ShowErrorMessage("File not found");
        return;
    }
    LoadDeck(*path);
}

void TF_Main::OpenDeckAsk(const std::string &path)
{
    if (!SavePrompt())
        return;
    if (!FileCanBeRead(path)) {
        ShowErrorMessage("File not found.");
        return;
    }
    LoadDeck(path);
}

void TF_Main::OpenDeckQuiet(const std::string &path)
{
    if (!FileCanBeRead(path))
        return;
    LoadDeck(path);
}

void TF_Main::RecentItemClick(int index)
{
    // The caption is "&k " and the path.
    // The caption is "&k " and the path for the eye; the list holds the path's own bytes.
    if (size_t(index) < RecentFiles.size())
        OpenDeckAsk(RecentFiles[size_t(index)]);
}

void TF_Main::LoadDeck(const std::string &chosen)
{
    const std::string path = AbsolutePath(chosen);
    DeckStore::FinishInterruptedChange(path);
    Store.Bind(path);
    // Relative visual and audio paths of the Deck are found next to it.
    const std::string folder = ExtractFilePath(path);
    if (::chdir(folder.empty() ? "." : folder.c_str()) != 0)
        RaiseLastInOutError();
    FillWordList();
    B_ClearClick();
    Image1->StopAnimation();
    SetStatusText(PathFromNative(path) + QStringLiteral(" loaded."));
    DeckLoaded = true;
    Untitled = false;
    UpdateRecentFiles();
    RebuildPools();
}

void TF_Main::SaveAs1Click() { SaveAs(); }

bool TF_Main::SaveAs()
{
    const auto path = Dialogs().saveFileName({DeckSaveFilter, "gsd", "Save As"});
    if (!path)
        return false;
    // A file counts as there even when it cannot be read. One the user may not write is refused
    // by the copy, before anything is written.
    if (FileExists(*path) &&
        AskConfirmation("The file exists. Would you like to overwrite the file?") != MsgResult::Yes)
        return false;
    Store.CopyWorkFile(*path);
    Spaced->DeckCopied(Store.WorkFileName, *path);
    Store.Bind(*path);
    Modified = false;
    Untitled = false;
    UpdateRecentFiles();
    SetStatusText(QStringLiteral("File saved as ") + PathFromNative(ExtractFileName(*path)));
    return true;
}

void TF_Main::UpdateRecentFiles()
{
    const std::string &name = Store.WorkFileName;
    // A path with a line break cannot be kept in the settings file, whose lines it would break.
    if (name.find_first_of("\r\n") != std::string::npos)
        return;
    const auto found = std::find(RecentFiles.begin(), RecentFiles.end(), name);
    if (found != RecentFiles.end()) {
        RecentFiles.erase(found);
        RecentFiles.insert(RecentFiles.begin(), name);
    } else if (RecentFiles.size() >= 5) {
        RecentFiles.resize(4);
        RecentFiles.insert(RecentFiles.begin(), name);
    } else {
        RecentFiles.insert(RecentFiles.begin(), name);
    }
    for (size_t i = 0; i < RecentFiles.size() && i < 5; ++i)
        AttachRecentItem(int(i));
}
