#pragma once
// The tables of an Anki collection in its older schema (version 11), and the collection's
// settings, note type and deck as that schema keeps them, in JSON.
#include <QString>

#include <string>

// The statements that make the empty tables and their indexes.
const char *AnkiSchemaStatements();

struct AnkiCollectionIds {
    long long created;    // seconds, the start of the collection's first day
    long long now;        // milliseconds
    long long modelId, deckId;
};
std::string AnkiConfJson(const AnkiCollectionIds &ids);
std::string AnkiModelsJson(const AnkiCollectionIds &ids);
std::string AnkiDecksJson(const AnkiCollectionIds &ids, const QString &deckName);
std::string AnkiDeckConfigJson();
