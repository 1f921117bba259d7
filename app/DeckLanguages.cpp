#include "app/DeckLanguages.h"

LanguageChoice WordLanguageOf(const ReviewLog &log)
{
    return ChooseLanguage(log.SettingValue(WordLanguageKey, ""), "words");
}

LanguageChoice DefinitionLanguageOf(const ReviewLog &log)
{
    return ChooseLanguage(log.SettingValue(DefinitionLanguageKey, ""), "definitions");
}
