// glossdeck import: another program's deck (Anki package, KVTML, plain text) as a new Deck.
#include "tools/glossdeck/GlossDeck.h"

#include "exchange/DeckImport.h"
#include "platform/TextFile.h"

#include <cstdio>

namespace {
int Import(const std::vector<std::string> &args)
{
    const ToolArguments arguments = ReadArguments(args, false, false);
    if (arguments.plain.size() != 2)
        throw UsageError("a file to import and the new Deck are needed");
    const std::string &source = arguments.plain[0];
    const std::string &deck = arguments.plain[1];
    if (!FileCanBeRead(source))
        throw ToolError("no such file: " + source);
    if (FileExists(deck))
        throw ToolError(deck + " exists already; nothing was written. Choose another name for the new Deck.");
    std::printf("%s\n", ImportDeck(source, deck).Text().toUtf8().constData());
    return 0;
}
} // namespace

Subcommand ImportSubcommand()
{
    return {"import", "FILE DECK",
            "makes a new Deck of an Anki package (.apkg, .colpkg), a KVTML file or a tab- or comma-separated list, "
            "with its media and review history",
            Import};
}
