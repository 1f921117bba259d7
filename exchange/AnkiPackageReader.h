#pragma once
// Anki packages (.apkg, .colpkg): a zip archive holding a SQLite collection (collection.anki2,
// collection.anki21, or collection.anki21b compressed with Zstandard), a map of the media and
// the media themselves, named by number. Each note becomes an Item: its first field the word,
// its second the definition; its first picture and first sound the Visual and Audio; the
// reviews of its cards the Item's review history.
#include "exchange/ExchangeDeck.h"

// Throws Exception with a message for the user when the package cannot be read.
ExchangeDeck ReadAnkiPackage(const std::string &path);
