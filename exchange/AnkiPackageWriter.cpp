#include "exchange/AnkiPackageWriter.h"

#include "exchange/AnkiCollectionSchema.h"
#include "exchange/FolderMedia.h"
#include "exchange/HtmlText.h"
#include "exchange/MediaFolder.h"
#include "exchange/SqliteDatabase.h"
#include "exchange/ZipArchive.h"
#include "platform/TextFile.h"
#include "review/ReviewHistory.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <map>
#include <set>

namespace {

constexpr long long BasicModelId = 1342697561419;
constexpr long long Day = 86400;

// The media of the package: each file once, under a name of its own.
class PackageMedia {
public:
    explicit PackageMedia(ZipWriter &zip, AnkiPackage &package) : zip(zip), package(package) {}
    // The name the notes use for the file ("" when it cannot be read).
    QString Include(const std::string &path)
    {
        if (path.empty())
            return {};
        const auto known = names.find(path);
        if (known != names.end())
            return known->second;
        QString &name = names[path];
        if (!FileCanBeRead(path)) {
            ++package.mediaMissing;
            return name;
        }
        std::string chosen = SafeMediumName(path);
        for (int number = 2; !taken.insert(chosen).second; ++number)
            chosen = NumberedName(SafeMediumName(path), number);
        const std::string entry = std::to_string(map.size());
        zip.Add(entry, ReadFileWithin(path, MediumBudget), false);
        name = QString::fromStdString(chosen);
        map.insert(QString::fromStdString(entry), name);
        ++package.mediaIncluded;
        return name;
    }
    std::string MapJson() const { return QJsonDocument(map).toJson(QJsonDocument::Compact).toStdString(); }

private:
    ZipWriter &zip;
    AnkiPackage &package;
    std::map<std::string, QString> names;
    std::set<std::string> taken;
    QJsonObject map;
};

long long Checksum(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(8).toLongLong(nullptr, 16);
}

// A note's lasting id, the same for the same word, so that Anki updates a note it has already.
QString GuidOf(const QString &word)
{
    return QString::fromLatin1(QCryptographicHash::hash(word.toUtf8(), QCryptographicHash::Sha1).toBase64().left(10));
}

int Days(ReviewTime seconds) { return std::max(1, int(std::lround(double(seconds) / Day))); }

// Anki's interval in its review log: days for a card in review, negative seconds while learning.
int AnkiInterval(const Card &card)
{
    if (card.state == CardState::New)
        return 0;
    const ReviewTime wait = card.due - card.lastReview;
    return card.state == CardState::Review ? Days(wait) : -int(std::max<ReviewTime>(wait, 1));
}

void InsertCard(SqliteStatement &cards, long long id, const AnkiCollectionIds &ids, size_t position, const Card *card)
{
    // type and queue: 0 new, 1 learning, 2 review, 3 relearning (queue 1 for both kinds of learning).
    int type = 0, queue = 0;
    long long due = (long long)position + 1;
    if (card && card->state != CardState::New) {
        type = card->state == CardState::Learning ? 1 : card->state == CardState::Review ? 2 : 3;
        queue = type == 2 ? 2 : 1;
        due = type == 2 ? (card->due - ids.created) / Day : card->due;
    }
    const long long values[] = {id, id, ids.deckId, 0, ids.now / 1000, -1, type, queue, due,
                                card && card->state == CardState::Review ? AnkiInterval(*card) : 0,
                                card ? 2500 : 0, card ? card->reps : 0, 0, type == 1 || type == 3 ? 1 : 0, 0, 0, 0};
    for (int i = 0; i < 17; ++i)
        cards.Bind(i + 1, values[i]);
    cards.Bind(18, std::string_view(""));
    cards.Run();
}

} // namespace

AnkiPackage AnkiPackageOf(const ExchangeDeck &deck, const QString &deckName)
{
    AnkiPackage package;
    ZipWriter zip;
    PackageMedia media(zip, package);

    // The replay knows each Item by its position, which stays unique where words may not.
    std::vector<WordReview> history;
    for (const ExchangeReview &review : deck.reviews)
        history.push_back({std::to_string(review.item), review.time, review.grade});
    const std::vector<ReplayedReview> replayed = Replayed(std::move(history));
    std::map<size_t, Card> lastState;
    for (const ReplayedReview &review : replayed)
        lastState[std::stoul(review.review.word)] = review.after;

    const long long now = QDateTime::currentMSecsSinceEpoch();
    const ReviewTime first = replayed.empty() ? now / 1000 : std::min<ReviewTime>(now / 1000, replayed.front().review.time);
    const AnkiCollectionIds ids{first - first % Day, now, BasicModelId, now};

    SqliteDatabase collection;
    collection.Execute(AnkiSchemaStatements());
    collection.Execute("BEGIN");
    SqliteStatement col = collection.Prepare("INSERT INTO col VALUES (1, ?1, ?2, ?2, 11, 0, 0, 0, ?3, ?4, ?5, ?6, '{}')");
    col.Bind(1, ids.created);
    col.Bind(2, now);
    col.Bind(3, AnkiConfJson(ids));
    col.Bind(4, AnkiModelsJson(ids));
    col.Bind(5, AnkiDecksJson(ids, deckName));
    col.Bind(6, AnkiDeckConfigJson());
    col.Run();

    SqliteStatement notes = collection.Prepare("INSERT INTO notes VALUES (?1, ?2, ?3, ?4, -1, ?5, ?6, ?7, ?8, 0, '')");
    SqliteStatement cards = collection.Prepare("INSERT INTO cards VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                                               "?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)");
    for (size_t i = 0; i < deck.items.size(); ++i) {
        const ExchangeItem &item = deck.items[i];
        QString back = HtmlOfText(item.definition);
        if (const QString picture = media.Include(item.visual); !picture.isEmpty())
            back += QStringLiteral("<br><img src=\"%1\">").arg(picture.toHtmlEscaped());
        if (const QString sound = media.Include(item.audio); !sound.isEmpty())
            back += QStringLiteral("[sound:%1]").arg(sound);
        const long long id = now + (long long)i;
        notes.Bind(1, id);
        notes.Bind(2, GuidOf(item.word).toStdString());
        notes.Bind(3, BasicModelId);
        notes.Bind(4, now / 1000);
        notes.Bind(5, (QLatin1Char(' ') + FrequencyTag(item.frequency) + QLatin1Char(' ')).toStdString());
        notes.Bind(6, (HtmlOfText(item.word) + QChar(0x1f) + back).toStdString());
        notes.Bind(7, item.word.toStdString());
        notes.Bind(8, Checksum(item.word));
        notes.Run();
        const auto state = lastState.find(i);
        InsertCard(cards, id, ids, i, state == lastState.end() ? nullptr : &state->second);
    }

    SqliteStatement revlog = collection.Prepare("INSERT INTO revlog VALUES (?1, ?2, -1, ?3, ?4, ?5, 2500, 0, ?6)");
    std::set<long long> used;
    for (const ReplayedReview &review : replayed) {
        // The id is the moment in milliseconds, and unique.
        long long id = review.review.time * 1000;
        while (!used.insert(id).second)
            ++id;
        const CardState before = review.before.state;
        revlog.Bind(1, id);
        revlog.Bind(2, now + (long long)std::stoul(review.review.word));
        revlog.Bind(3, int(review.review.grade));
        revlog.Bind(4, AnkiInterval(review.after));
        revlog.Bind(5, AnkiInterval(review.before));
        revlog.Bind(6, before == CardState::Review ? 1 : before == CardState::Relearning ? 2 : 0);
        revlog.Run();
    }
    collection.Execute("COMMIT");

    zip.Add("collection.anki2", collection.Bytes(), true);
    zip.Add("media", media.MapJson(), true);
    package.bytes = zip.Finish();
    return package;
}
