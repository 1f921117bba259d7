#pragma once
// The languages a Deck's words and definitions are spoken in, kept with the Deck's other
// settings in its review log ("word-language=ru"), never in the Deck file.
#include "review/ReviewLog.h"
#include "speech/SpeechLanguage.h"

inline const char *const WordLanguageKey = "word-language";
inline const char *const DefinitionLanguageKey = "definition-language";

// The language to speak the Deck's words or definitions in: as its log sets it, or the default;
// a code espeak-ng does not know falls back to the default and says so.
LanguageChoice WordLanguageOf(const ReviewLog &log);
LanguageChoice DefinitionLanguageOf(const ReviewLog &log);
