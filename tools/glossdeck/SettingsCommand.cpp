// glossdeck settings: shows or changes the settings kept in a Deck's review log.
#include "tools/glossdeck/GlossDeck.h"

#include "platform/TextFile.h"

#include <cstdio>

namespace {
int Settings(const std::vector<std::string> &args)
{
    const ToolArguments arguments = ReadArguments(args, false, false);
    if (arguments.plain.empty())
        throw UsageError("a Deck is needed");
    std::vector<Setting> changes;
    for (size_t i = 1; i < arguments.plain.size(); ++i) {
        const std::string &change = arguments.plain[i];
        const size_t equals = change.find('=');
        if (equals == std::string::npos || !IsSettingKey(change.substr(0, equals)))
            throw ToolError("\"" + change + "\" is not KEY=VALUE (a key of letters, digits, \"-\", \"_\" and \".\")");
        Setting setting{change.substr(0, equals), change.substr(equals + 1)};
        const std::string problem = SettingProblem(setting.first, setting.second);
        if (!problem.empty())
            throw ToolError(setting.first + ": " + problem + "; nothing was changed");
        changes.push_back(std::move(setting));
    }
    ReviewedDeck deck(arguments.plain[0]);
    ReviewLog &log = deck.review.Log();
    if (!changes.empty()) {
        // A new log starts with every setting written out.
        if (!FileExists(log.Path())) {
            const std::vector<Setting> defaults = DefaultSettingLines();
            changes.insert(changes.begin(), defaults.begin(), defaults.end());
        }
        log.ChangeSettings(changes);
    }
    for (const Setting &setting : FileExists(log.Path()) ? log.Settings() : DefaultSettingLines())
        std::printf("%s=%s\n", setting.first.c_str(), setting.second.c_str());
    return 0;
}
} // namespace

Subcommand SettingsSubcommand()
{
    return {"settings", "DECK [KEY=VALUE ...]",
            "shows the Deck's review settings, or changes them in one rewrite of its review log", Settings};
}
