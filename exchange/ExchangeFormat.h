#pragma once
// The formats of other programs' decks this program reads and writes, and how a file's name or
// a format's name tells which one is meant.
#include <optional>
#include <string>

enum class ExchangeFormat { AnkiPackage, Tsv, Csv, Kvtml };

// By the file's extension (.apkg, .colpkg; .tsv, .txt; .csv; .kvtml, .xml), case-insensitive.
std::optional<ExchangeFormat> FormatOfFileName(const std::string &path);
// By the names the command line takes: "apkg", "tsv", "csv", "kvtml".
std::optional<ExchangeFormat> FormatNamed(const std::string &name);
// By the first bytes of a file whose name says nothing: a zip archive, XML, or else text.
ExchangeFormat FormatOfContent(const std::string &firstBytes);
