#include "speech/SpeechEngine.h"

#include "platform/Exceptions.h"

#include <espeak-ng/speak_lib.h>

#include <cstring>
#include <mutex>
#include <set>

namespace {
std::mutex engine;   // espeak-ng's state is the process's: one synthesis at a time
int sampleRate = 0;
std::string problem;
std::vector<SpeechVoice> voices;

// What the callback fills while a synthesis runs; only ever touched under the engine's lock.
struct Synthesis {
    std::vector<int16_t> samples;
    const std::function<bool()> *cancelled = nullptr;
    size_t limit = 0;
} *running = nullptr;

int ReceiveSamples(short *samples, int count, espeak_EVENT *)
{
    if (samples && count > 0)
        running->samples.insert(running->samples.end(), samples, samples + count);
    const bool stop = running->samples.size() >= running->limit ||
                      (running->cancelled && *running->cancelled && (*running->cancelled)());
    return stop ? 1 : 0;
}

std::vector<std::string> LanguagesOf(const espeak_VOICE &voice)
{
    // Pairs of a priority byte and a name, ended by an empty name.
    std::vector<std::string> languages;
    for (const char *entry = voice.languages; entry && entry[0] && entry[1]; entry += std::strlen(entry + 1) + 2)
        languages.emplace_back(entry + 1);
    return languages;
}

// Starts espeak-ng once; without its data there is no speech, and the program goes on.
void Start()
{
    static std::once_flag started;
    std::call_once(started, [] {
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 200, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate <= 0) {
            problem = "Speech is not available: the speech synthesiser espeak-ng found no voices (its data, "
                      "the package espeak-ng-data, may be missing).";
            return;
        }
        sampleRate = rate;
        espeak_SetSynthCallback(ReceiveSamples);
        std::set<std::string> seen;
        for (const espeak_VOICE **voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
            std::vector<std::string> languages = LanguagesOf(**voice);
            if (languages.empty() || !seen.insert(languages.front()).second)
                continue;
            voices.push_back({QString::fromUtf8((*voice)->name).trimmed(), std::move(languages)});
        }
        if (voices.empty())
            problem = "Speech is not available: the speech synthesiser espeak-ng has no voices.";
    });
}
} // namespace

// Once started, what is known of espeak-ng never changes: read without the lock, so that
// the window never waits for a synthesis.
std::string SpeechProblem()
{
    Start();
    return problem;
}

int SpeechSampleRate()
{
    Start();
    return sampleRate;
}

const std::vector<SpeechVoice> &SpeechVoices()
{
    Start();
    return voices;
}

std::vector<int16_t> Synthesize(const QString &text, const std::string &language, const std::function<bool()> &cancelled)
{
    Start();
    if (!problem.empty())
        throw Exception(problem);
    const QByteArray utf8 = text.trimmed().toUtf8();
    if (utf8.isEmpty())
        return {};
    const std::lock_guard lock(engine);
    espeak_VOICE wanted{};
    wanted.languages = language.c_str();
    if (espeak_SetVoiceByProperties(&wanted) != EE_OK)
        throw Exception("The speech synthesiser has no voice for the language \"" + language + "\"");
    Synthesis synthesis;
    synthesis.cancelled = &cancelled;
    synthesis.limit = size_t(sampleRate) * MaximumSpeechSeconds;
    running = &synthesis;
    const espeak_ERROR result =
        espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    running = nullptr;
    if (result != EE_OK)
        throw Exception("The speech synthesiser could not speak the text");
    return std::move(synthesis.samples);
}

bool IsSpeakable(const QString &text) { return !text.trimmed().isEmpty(); }
