#include "exchange/ExchangeFormat.h"

#include <QString>

#include <map>
#include <string_view>

namespace {
std::optional<ExchangeFormat> Lookup(const QString &name)
{
    static const std::map<QString, ExchangeFormat> formats{
        {"apkg", ExchangeFormat::AnkiPackage}, {"colpkg", ExchangeFormat::AnkiPackage}, {"tsv", ExchangeFormat::Tsv},
        {"txt", ExchangeFormat::Tsv},          {"csv", ExchangeFormat::Csv},            {"kvtml", ExchangeFormat::Kvtml},
        {"xml", ExchangeFormat::Kvtml}};
    const auto found = formats.find(name.toLower());
    return found == formats.end() ? std::nullopt : std::optional(found->second);
}
} // namespace

std::optional<ExchangeFormat> FormatOfFileName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    return Lookup(QString::fromUtf8(path.substr(dot + 1)));
}

std::optional<ExchangeFormat> FormatNamed(const std::string &name)
{
    const auto format = Lookup(QString::fromUtf8(name));
    // The extensions that are another format's second name are no format names.
    return name == "txt" || name == "xml" || name == "colpkg" ? std::nullopt : format;
}

ExchangeFormat FormatOfContent(const std::string &firstBytes)
{
    if (firstBytes.rfind("PK\x03\x04", 0) == 0)
        return ExchangeFormat::AnkiPackage;
    std::string_view start(firstBytes);
    if (start.substr(0, 3) == "\xEF\xBB\xBF")
        start.remove_prefix(3);
    const size_t text = start.find_first_not_of(" \t\r\n");
    if (text != std::string_view::npos && (start.substr(text, 5) == "<?xml" || start.substr(text, 6) == "<kvtml"))
        return ExchangeFormat::Kvtml;
    return ExchangeFormat::Tsv;
}
