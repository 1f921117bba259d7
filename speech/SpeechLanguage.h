#pragma once
// Which language a text is spoken in: codes as a Deck keeps them ("ru", "en-us", "pt_BR"),
// checked against the voices espeak-ng has, and the user's own language as the default.
#include <QString>

#include <string>
#include <vector>

// The code espeak-ng knows for a code, ignoring letter case and taking "_" as "-"; a code it
// does not know stands for its main language ("de" for "de-AT") when it knows that one. ""
// when it knows neither, or the code is empty.
std::string KnownLanguage(const std::string &code);
// The language of the user's locale, or English when espeak-ng does not speak that one.
std::string DefaultLanguage();
// Every code espeak-ng knows: the voices' own languages and those they also speak ("en").
std::vector<std::string> KnownLanguages();
// The name of the voice of a language, with its code: "Russian (ru)".
QString LanguageTitle(const std::string &language);

struct LanguageChoice {
    std::string language;   // the one to speak in
    std::string problem;    // why it is not the code asked for ("" when it is)
};
// The language to speak for a code a Deck keeps for its words or definitions (`what`): the
// code, or the default when none is set; an unknown code falls back to the default and says so.
LanguageChoice ChooseLanguage(const std::string &code, const std::string &what);
