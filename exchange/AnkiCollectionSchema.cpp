#include "exchange/AnkiCollectionSchema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::string Compact(const QJsonObject &object) { return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(); }

QJsonObject Field(const char *name, int ord)
{
    return {{"name", name}, {"ord", ord}, {"sticky", false}, {"rtl", false}, {"font", "Arial"}, {"size", 20},
            {"media", QJsonArray()}};
}

} // namespace

const char *AnkiSchemaStatements()
{
    return R"(
CREATE TABLE col (id integer primary key, crt integer not null, mod integer not null, scm integer not null,
  ver integer not null, dty integer not null, usn integer not null, ls integer not null, conf text not null,
  models text not null, decks text not null, dconf text not null, tags text not null);
CREATE TABLE notes (id integer primary key, guid text not null, mid integer not null, mod integer not null,
  usn integer not null, tags text not null, flds text not null, sfld integer not null, csum integer not null,
  flags integer not null, data text not null);
CREATE TABLE cards (id integer primary key, nid integer not null, did integer not null, ord integer not null,
  mod integer not null, usn integer not null, type integer not null, queue integer not null, due integer not null,
  ivl integer not null, factor integer not null, reps integer not null, lapses integer not null,
  left integer not null, odue integer not null, odid integer not null, flags integer not null, data text not null);
CREATE TABLE revlog (id integer primary key, cid integer not null, usn integer not null, ease integer not null,
  ivl integer not null, lastIvl integer not null, factor integer not null, time integer not null,
  type integer not null);
CREATE TABLE graves (usn integer not null, oid integer not null, type integer not null);
CREATE INDEX ix_notes_usn on notes (usn);
CREATE INDEX ix_cards_usn on cards (usn);
CREATE INDEX ix_revlog_usn on revlog (usn);
CREATE INDEX ix_cards_nid on cards (nid);
CREATE INDEX ix_cards_sched on cards (did, queue, due);
CREATE INDEX ix_revlog_cid on revlog (cid);
CREATE INDEX ix_notes_csum on notes (csum);
)";
}

std::string AnkiConfJson(const AnkiCollectionIds &ids)
{
    return Compact({{"activeDecks", QJsonArray{ids.deckId}}, {"curDeck", ids.deckId}, {"newSpread", 0},
                    {"collapseTime", 1200}, {"timeLim", 0}, {"estTimes", true}, {"dueCounts", true},
                    {"curModel", QString::number(ids.modelId)}, {"nextPos", 1}, {"sortType", "noteFld"},
                    {"sortBackwards", false}, {"addToCur", true}});
}

std::string AnkiModelsJson(const AnkiCollectionIds &ids)
{
    const QJsonObject templateCard{{"name", "Card 1"}, {"ord", 0}, {"qfmt", "{{Front}}"},
                                   {"afmt", "{{FrontSide}}\n\n<hr id=answer>\n\n{{Back}}"},
                                   {"did", QJsonValue::Null}, {"bqfmt", ""}, {"bafmt", ""}};
    const QJsonObject basic{
        {"id", ids.modelId}, {"name", "Basic"}, {"type", 0}, {"mod", ids.now / 1000}, {"usn", -1}, {"sortf", 0},
        {"did", ids.deckId}, {"tmpls", QJsonArray{templateCard}}, {"flds", QJsonArray{Field("Front", 0), Field("Back", 1)}},
        {"css", ".card {\n font-family: arial;\n font-size: 20px;\n text-align: center;\n color: black;\n background-color: white;\n}\n"},
        {"latexPre", "\\documentclass[12pt]{article}\n\\special{papersize=3in,5in}\n\\usepackage[utf8]{inputenc}\n"
                     "\\usepackage{amssymb,amsmath}\n\\pagestyle{empty}\n\\setlength{\\parindent}{0in}\n\\begin{document}\n"},
        {"latexPost", "\\end{document}"}, {"tags", QJsonArray()}, {"vers", QJsonArray()},
        {"req", QJsonArray{QJsonArray{0, "any", QJsonArray{0}}}}};
    return Compact({{QString::number(ids.modelId), basic}});
}

std::string AnkiDecksJson(const AnkiCollectionIds &ids, const QString &deckName)
{
    auto deck = [&](long long id, const QString &name) {
        return QJsonObject{{"id", id},           {"name", name},         {"mod", ids.now / 1000},
                           {"usn", -1},          {"lrnToday", QJsonArray{0, 0}}, {"revToday", QJsonArray{0, 0}},
                           {"newToday", QJsonArray{0, 0}}, {"timeToday", QJsonArray{0, 0}}, {"collapsed", false},
                           {"browserCollapsed", false}, {"desc", ""}, {"dyn", 0}, {"conf", 1},
                           {"extendNew", 10},    {"extendRev", 50}};
    };
    return Compact({{"1", deck(1, QStringLiteral("Default"))}, {QString::number(ids.deckId), deck(ids.deckId, deckName)}});
}

std::string AnkiDeckConfigJson()
{
    const QJsonObject options{
        {"id", 1}, {"name", "Default"}, {"mod", 0}, {"usn", 0}, {"maxTaken", 60}, {"autoplay", true}, {"timer", 0},
        {"replayq", true}, {"dyn", false},
        {"new", QJsonObject{{"delays", QJsonArray{1, 10}}, {"ints", QJsonArray{1, 4, 7}}, {"initialFactor", 2500},
                            {"order", 1}, {"perDay", 20}, {"bury", false}, {"separate", true}}},
        {"lapse", QJsonObject{{"delays", QJsonArray{10}}, {"mult", 0}, {"minInt", 1}, {"leechFails", 8}, {"leechAction", 1}}},
        {"rev", QJsonObject{{"perDay", 200}, {"ease4", 1.3}, {"fuzz", 0.05}, {"minSpace", 1}, {"ivlFct", 1},
                            {"maxIvl", 36500}, {"bury", false}, {"hardFactor", 1.2}}}};
    return Compact({{"1", options}});
}
