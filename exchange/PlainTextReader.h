#pragma once
// Plain-text word lists: tab- or comma-separated (or by the separator Anki's "#separator:" line
// names), with or without a header row, with Anki's "#html:", "#columns:" and "#... column:"
// lines; UTF-8 with or without a byte-order mark, UTF-16 with one, or else the locale's code
// page. The first two columns that are not named otherwise are word and definition; columns
// named Frequency, Visual and Audio fill those fields.
#include "exchange/ExchangeDeck.h"

ExchangeDeck ReadPlainText(const std::string &path);

// The text of a file's bytes, by its byte-order mark, else as UTF-8 when it is valid UTF-8,
// else in the locale's code page.
QString TextOfFileBytes(const std::string &bytes);
