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

bool Known(const std::string &code)
{
    const std::vector<std::string> codes = KnownLanguages();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
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
    if (Known(normal))
        return normal;
    const std::string main = normal.substr(0, normal.find('-'));
    return Known(main) ? main : std::string();
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
