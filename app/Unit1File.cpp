// File commands: which Deck file is the working file.
#include "app/Unit1.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/ProgramFolder.h"

#include <QDir>

#include <cerrno>

void TF_Main::LoadDeck(const std::string &path)
{
    Store.Bind(path);
    // Relative visual and audio paths of the Deck are found next to it.
    const std::string folder = ExtractFilePath(path);
    if (!folder.empty() && !QDir::setCurrent(PathFromAnsi(folder)))
        throw EInOutError(ENOENT);
    FillWordList();
    B_ClearClick();
    SetStatusText(FromAnsi(path) + QStringLiteral(" loaded."));
    DeckLoaded = true;
    Untitled = false;
}

void TF_Main::OpenDeckQuiet(const std::string &path)
{
    if (!FileCanBeRead(path))
        return;
    LoadDeck(path);
}
