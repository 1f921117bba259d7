#include "speech/SpeechLanguage.h"

#include "speech/SpeechEngine.h"

#include <QLocale>

#include <algorithm>
#include <cctype>

namespace {
std::string Normalized(std::string code)
{
    std::replace(code.begin(), code.end(), '_', '-');
    std::transform(code.begin(), code.end(), code.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return code;
}

// The code as espeak-ng spells it ("" when it does not know it).
std::string Spelled(const std::string &normal)
{
    for (const std::string &known : KnownLanguages())
        if (Normalized(known) == normal)
            return known;
    return {};
}
} // namespace

std::vector<std::string> KnownLanguages()
{
    std::vector<std::string> codes;
    for (const SpeechVoice &voice : SpeechVoices())
        for (const std::string &code : voice.languages)
            if (std::find(codes.begin(), codes.end(), code) == codes.end())
                codes.push_back(code);
    return codes;
}

std::string KnownLanguage(const std::string &code)
{
    const std::string normal = Normalized(code);
    if (normal.empty())
        return {};
    const std::string known = Spelled(normal);
    return known.empty() ? Spelled(normal.substr(0, normal.find('-'))) : known;
}

std::string DefaultLanguage()
{
    const std::string locale = KnownLanguage(QLocale::system().name().toStdString());
    return locale.empty() ? "en" : locale;
}

QString LanguageTitle(const std::string &language)
{
    const QString code = QString::fromStdString(language);
    for (const SpeechVoice &voice : SpeechVoices())
        if (voice.Language() == language)
            return voice.name + " (" + code + ")";
    // A code that only some voices list besides their own, such as "en".
    const QLocale::Language named = QLocale(code).language();
    return named == QLocale::C ? code : QLocale::languageToString(named) + " (" + code + ")";
}

LanguageChoice ChooseLanguage(const std::string &code, const std::string &what)
{
    if (code.empty())
        return {DefaultLanguage(), {}};
    const std::string known = KnownLanguage(code);
    if (!known.empty())
        return {known, {}};
    const std::string fallback = DefaultLanguage();
    return {fallback, "The speech synthesiser does not know the language \"" + code + "\" set for the " + what +
                          " of this Deck; they are spoken in " + LanguageTitle(fallback).toStdString() + " instead."};
}
