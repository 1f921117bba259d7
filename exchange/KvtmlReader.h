#pragma once
// KVTML, the vocabulary files of KWordQuiz and Parley. Version 2: the texts of the first two
// identifiers (languages) of each entry are word and definition, its <image> and <sound> the
// Visual and Audio, and its <comment> stands in for an empty definition. Version 1: each <e>
// entry's <o> and first <t>. A file whose bytes are not valid in the encoding it declares is
// read again as Windows-1252, and a remark says so.
#include "exchange/ExchangeDeck.h"

ExchangeDeck ReadKvtml(const std::string &path);
