// glossdeck export: a Deck for another program, as an Anki package, KVTML or plain text.
#include "tools/glossdeck/GlossDeck.h"

#include "exchange/DeckExport.h"
#include "platform/TextFile.h"

#include <cstdio>

namespace {
int Export(const std::vector<std::string> &args)
{
    std::vector<std::string> rest;
    std::optional<ExchangeFormat> format;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--format") {
            rest.push_back(args[i]);
            continue;
        }
        if (++i == args.size() || !(format = FormatNamed(args[i])))
            throw UsageError("--format needs one of apkg, tsv, csv, kvtml");
    }
    const ToolArguments arguments = ReadArguments(rest, false, false);
    if (arguments.plain.size() != 2)
        throw UsageError("a Deck and the file to write are needed");
    const std::string &deck = arguments.plain[0];
    const std::string &out = arguments.plain[1];
    if (!format && !(format = FormatOfFileName(out)))
        throw UsageError("the format cannot be told from the name " + out + "; give --format");
    if (!FileCanBeRead(deck))
        throw ToolError("no such Deck: " + deck);
    std::printf("%s\n", ExportDeck(deck, out, *format).Text().toUtf8().constData());
    return 0;
}
} // namespace

Subcommand ExportSubcommand()
{
    return {"export", "DECK OUT [--format apkg|tsv|csv|kvtml]",
            "writes the Deck for another program; the format follows OUT's extension unless given", Export};
}
