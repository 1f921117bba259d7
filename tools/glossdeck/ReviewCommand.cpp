// glossdeck review: records one review as the Study page does.
#include "tools/glossdeck/GlossDeck.h"

#include <algorithm>
#include <cstdio>

namespace {
int Review(const std::vector<std::string> &args)
{
    const ToolArguments arguments = ReadArguments(args, true, false);
    if (arguments.plain.size() != 3)
        throw UsageError("a Deck, a word and a grade are needed");
    const std::string &word = arguments.plain[1], &grade = arguments.plain[2];
    if (grade.size() != 1 || grade[0] < '1' || grade[0] > '4')
        throw ToolError("the grade is 1 (Again), 2 (Hard), 3 (Good) or 4 (Easy), not \"" + grade + "\"");
    ReviewedDeck deck(arguments.plain[0]);
    if (word.empty() || std::find(deck.words.begin(), deck.words.end(), word) == deck.words.end())
        throw ToolError("\"" + word + "\" is not a word of " + deck.path);
    const Card card = deck.review.Record(word, Grade(grade[0] - '0'), arguments.at);
    std::printf("%s\n", ItemLine(word, card, deck.review.Schedule(), arguments.at).c_str());
    return 0;
}
} // namespace

Subcommand ReviewSubcommand()
{
    return {"review", "DECK WORD GRADE [--at TIME]",
            "records a review of the Item WORD with GRADE 1 (Again), 2 (Hard), 3 (Good) or 4 (Easy)", Review};
}
