#pragma once
// Speech synthesis with espeak-ng in its synchronous mode: the samples of a text come back
// through espeak-ng's callback, to be played by the program's own sound output or written to a
// wave file. espeak-ng keeps one state for the whole process, so every use goes through here,
// one at a time, from any thread.
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SpeechVoice {
    QString name;                         // the voice's own name: "English (America)"
    std::vector<std::string> languages;   // espeak-ng's codes, its own first: "en-us", "en"
    const std::string &Language() const { return languages.front(); }
};

// Why speech cannot be had ("" when it can): espeak-ng found no data, for instance.
std::string SpeechProblem();
// The rate of the samples (Hz), once espeak-ng started.
int SpeechSampleRate();
// The voices espeak-ng has, one per language of their own, in espeak-ng's order.
const std::vector<SpeechVoice> &SpeechVoices();

// Longer speech is cut off there: a hostile Deck field must not fill the memory.
constexpr int MaximumSpeechSeconds = 600;

// Mono 16-bit samples of the text spoken in a language of SpeechVoices(); empty when there is
// nothing to speak. `cancelled` is asked while the samples come: true ends the synthesis, and
// what came so far is returned. Throws Exception when speech cannot be had.
std::vector<int16_t> Synthesize(const QString &text, const std::string &language,
                                const std::function<bool()> &cancelled = {});

// Whether there is anything to speak in the text: not when it is empty after trimming.
bool IsSpeakable(const QString &text);
