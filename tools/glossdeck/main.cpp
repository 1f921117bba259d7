// glossdeck: Decks from the command line, over the program's own code. Each subcommand lives in
// a file of its own and is listed in Subcommands().
#include "tools/glossdeck/GlossDeck.h"

#include "platform/Dialogs.h"

#include <cstdio>
#include <exception>

const std::vector<Subcommand> &Subcommands()
{
    static const std::vector<Subcommand> all{DueSubcommand(), ReviewSubcommand(), StatsSubcommand(),
                                             SettingsSubcommand(), ImportSubcommand(), ExportSubcommand(),
                                             SpeakSubcommand()};
    return all;
}

namespace {
void PrintUsage(std::FILE *to)
{
    std::fprintf(to, "usage: glossdeck COMMAND DECK ...\ncommands:\n");
    for (const Subcommand &command : Subcommands())
        std::fprintf(to, "  %s %s\n      %s\n", command.name, command.usage, command.summary);
    std::fprintf(to, "TIME is ISO 8601, such as 2024-06-11T09:30:00Z (UTC when it has no offset); the default is now.\n");
}
} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    for (const Subcommand &command : Subcommands()) {
        if (args[0] != command.name)
            continue;
        try {
            return command.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const UsageError &e) {
            std::fprintf(stderr, "glossdeck: %s\nusage: glossdeck %s %s\n", e.what(), command.name, command.usage);
            return 2;
        } catch (const ToolError &e) {
            std::fprintf(stderr, "glossdeck: %s\n", e.what());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "glossdeck: %s\n", GeneralErrorText(e.what()).c_str());
        }
        return 1;
    }
    std::fprintf(stderr, "glossdeck: unknown command \"%s\"\n", args[0].c_str());
    PrintUsage(stderr);
    return 2;
}
