// glossdeck due: the Items due at a moment, or every Item.
#include "tools/glossdeck/GlossDeck.h"

#include <algorithm>
#include <cstdio>

namespace {
int Due(const std::vector<std::string> &args)
{
    const ToolArguments arguments = ReadArguments(args, true, true);
    if (arguments.plain.size() != 1)
        throw UsageError("one Deck is needed");
    ReviewedDeck deck(arguments.plain[0]);
    struct Line {
        ReviewTime due;
        std::string text;
    };
    std::vector<Line> lines;
    for (const std::string &word : deck.words) {
        const Card card = deck.review.CardOf(word);
        const bool due = card.state != CardState::New && card.due <= arguments.at;
        if (!word.empty() && (arguments.all || due))
            lines.push_back({card.due, ItemLine(word, card, deck.review.Schedule(), arguments.at)});
    }
    // Due Items come soonest due first; the whole Deck stays in file order.
    if (!arguments.all)
        std::stable_sort(lines.begin(), lines.end(), [](const Line &a, const Line &b) { return a.due < b.due; });
    for (const Line &line : lines)
        std::printf("%s\n", line.text.c_str());
    return 0;
}
} // namespace

Subcommand DueSubcommand()
{
    return {"due", "DECK [--at TIME] [--all]",
            "the Items due at TIME (or every Item): word, state, stability, difficulty, retrievability, due",
            Due};
}
