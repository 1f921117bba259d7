// glossdeck speak: a word spoken as Play speaks it, into a wave file; or recordings for every
// Item of a Deck that has none.
#include "tools/glossdeck/GlossDeck.h"

#include "app/DeckLanguages.h"
#include "platform/FileReplacement.h"
#include "platform/TextFile.h"
#include "speech/SpeechEngine.h"
#include "speech/SpeechWave.h"
#include "tools/glossdeck/RecordingFill.h"

#include <cstdio>

namespace {
// The language of the Deck's words, as its log sets it; a problem is told, not fatal.
std::string WordLanguageOfDeck(const std::string &deck)
{
    if (!FileCanBeRead(deck))
        throw ToolError("no such Deck: " + deck);
    const std::string problem = SpeechProblem();
    if (!problem.empty())
        throw ToolError(problem);
    ReviewLog log(deck);
    log.Load();
    const LanguageChoice choice = WordLanguageOf(log);
    if (!choice.problem.empty())
        std::fprintf(stderr, "glossdeck: %s\n", choice.problem.c_str());
    return choice.language;
}

int Speak(std::vector<std::string> args)
{
    // --fill FOLDER, this command's own option.
    std::string fill;
    for (size_t i = 0; i < args.size(); ++i)
        if (args[i] == "--fill") {
            if (i + 1 == args.size() || args[i + 1].empty())
                throw UsageError("--fill needs a folder");
            fill = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    const std::vector<std::string> plain = ReadArguments(args, false, false).plain;
    if (!fill.empty()) {
        if (plain.size() != 1)
            throw UsageError("--fill takes a Deck and a folder");
        const FillResult result = FillRecordings(plain[0], fill, WordLanguageOfDeck(plain[0]));
        std::printf("%d recordings written into %s", result.written, fill.c_str());
        if (result.skipped > 0)
            std::printf("; %d Items without a word to speak skipped", result.skipped);
        std::printf("\n");
        return 0;
    }
    if (plain.size() != 3)
        throw UsageError("a Deck, a word and a wave file to write are needed");
    const std::string language = WordLanguageOfDeck(plain[0]);
    const QString word = QString::fromLocal8Bit(plain[1]);
    const std::vector<int16_t> samples = IsSpeakable(word) ? Synthesize(word, language) : std::vector<int16_t>{};
    if (samples.empty())
        throw ToolError("there is nothing to speak in \"" + plain[1] + "\"; no file was written");
    ReplaceFileContent(plain[2], WaveFileBytes(samples, SpeechSampleRate()));
    std::printf("%s: %.2f s in %s\n", plain[2].c_str(), double(samples.size()) / SpeechSampleRate(),
                LanguageTitle(language).toUtf8().constData());
    return 0;
}
} // namespace

Subcommand SpeakSubcommand()
{
    return {"speak", "DECK WORD OUT.wav | DECK --fill FOLDER",
            "speaks a word in the Deck's word language into a wave file; or, with --fill, gives every Item "
            "without a recording one in FOLDER, in one rewrite of the Deck",
            Speak};
}
