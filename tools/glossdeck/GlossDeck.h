#pragma once
// What the subcommands of glossdeck share: their table, argument reading, opening a Deck with its
// review log, and the one-line description of an Item.
#include "review/SpacedReview.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A failure the user caused or must know of: printed as "glossdeck: <text>", exit code 1.
struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Arguments that do not fit the command: its usage is printed, exit code 2.
struct UsageError : ToolError {
    using ToolError::ToolError;
};

struct Subcommand {
    const char *name;
    const char *usage;      // the arguments, after "glossdeck NAME "
    const char *summary;    // one line for the command list
    std::function<int(const std::vector<std::string> &)> run;
};
// Every subcommand, each defined in a file of its own.
const std::vector<Subcommand> &Subcommands();
Subcommand DueSubcommand();
Subcommand ReviewSubcommand();
Subcommand StatsSubcommand();
Subcommand SettingsSubcommand();
Subcommand ImportSubcommand();
Subcommand ExportSubcommand();
Subcommand SpeakSubcommand();

// The arguments of a subcommand: the plain ones in order, and the options it accepts.
struct ToolArguments {
    std::vector<std::string> plain;
    ReviewTime at = 0;      // --at TIME, or now
    bool all = false;       // --all
};
ToolArguments ReadArguments(const std::vector<std::string> &args, bool takesAt, bool takesAll);

// A Deck opened for review: its askable Items' words in file order and their log. A Deck that
// cannot be read, or a log with a damaged line, is refused with a ToolError.
struct ReviewedDeck {
    explicit ReviewedDeck(const std::string &path);
    std::string path;
    std::vector<std::string> words;   // review words, in file order ("" for a line without a word)
    SpacedReview review;
};

// "word <TAB> state <TAB> stability <TAB> difficulty <TAB> retrievability <TAB> due".
std::string ItemLine(const std::string &word, const Card &card, const Scheduler &scheduler, ReviewTime at);
