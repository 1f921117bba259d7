#include "tools/glossdeck/GlossDeck.h"

#include "app/DeckStore.h"
#include "platform/TextFile.h"
#include "review/ReviewWord.h"
#include "review/TimeText.h"

namespace {
std::string Number(double value) { return ExactNumber(value); }
} // namespace

ToolArguments ReadArguments(const std::vector<std::string> &args, bool takesAt, bool takesAll)
{
    ToolArguments read;
    bool atGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (takesAt && arg == "--at") {
            if (++i == args.size())
                throw UsageError("--at needs a time, such as 2024-06-11T09:30:00Z");
            const auto at = ParseIsoTime(args[i]);
            if (!at)
                throw ToolError("\"" + args[i] + "\" is not a time in ISO 8601 form, such as 2024-06-11T09:30:00Z");
            read.at = *at;
            atGiven = true;
        } else if (takesAll && arg == "--all") {
            read.all = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            throw UsageError("unknown option " + arg);
        } else {
            read.plain.push_back(arg);
        }
    }
    if (!atGiven)
        read.at = CurrentTime();
    return read;
}

ReviewedDeck::ReviewedDeck(const std::string &deckPath) : path(deckPath), review(deckPath)
{
    if (!FileCanBeRead(path))
        throw ToolError("no such Deck: " + path);
    DeckStore store;
    store.Bind(path);
    StringList deckWords;
    TextLineReader file(path);
    store.ReadColumn(file, deckWords, 1);
    for (const std::string &word : deckWords)
        words.push_back(ReviewWordOf(word, store.Text));
    review.Open();
    const auto &damaged = review.Log().DamagedLines();
    if (!damaged.empty())
        throw ToolError("line " + std::to_string(damaged.front()) + " of " + review.Log().Path() +
                        " is damaged; nothing was changed. Mend or remove the line and try again.");
    review.SetItems(words);
}

std::string ItemLine(const std::string &word, const Card &card, const Scheduler &scheduler, ReviewTime at)
{
    std::string line = word + "\t" + StateName(card.state);
    if (card.state == CardState::New)
        return line + "\t-\t-\t-\t-";
    return line + "\t" + Number(card.stability) + "\t" + Number(card.difficulty) + "\t" +
           Number(scheduler.Retrievability(card, at)) + "\t" + FormatIsoTime(card.due);
}
