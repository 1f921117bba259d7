#include "exchange/AnkiPackageReader.h"

#include "exchange/AnkiMediaMap.h"
#include "exchange/HtmlText.h"
#include "exchange/SqliteDatabase.h"
#include "exchange/ZipArchive.h"
#include "exchange/Zstd.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <unordered_map>

namespace {

// The largest collection read into memory.
constexpr unsigned long long CollectionBudget = 1ull << 30;
constexpr char FieldSeparator = '\x1f';

class AnkiMedia : public MediaSource {
public:
    AnkiMedia(std::shared_ptr<ZipReader> archive, QHash<QString, std::string> map)
        : archive(std::move(archive)), map(std::move(map))
    {
    }
    std::optional<std::string> Read(const std::string &reference) override
    {
        const QString name = QString::fromUtf8(reference);
        auto entryName = map.constFind(name);
        // Some notes name their media as URLs ("my%20cat.jpg").
        if (entryName == map.constEnd())
            entryName = map.constFind(QUrl::fromPercentEncoding(reference.c_str()));
        if (entryName == map.constEnd())
            return std::nullopt;
        const auto index = archive->Find(*entryName);
        if (!index)
            return std::nullopt;
        std::string bytes = archive->Read(*index, MediumBudget);
        // The newest packages compress every medium.
        if (IsZstdFrame(bytes))
            bytes = ZstdDecompressed(bytes, MediumBudget, "A medium of the package");
        return bytes;
    }

private:
    std::shared_ptr<ZipReader> archive;
    QHash<QString, std::string> map;
};

std::string CollectionOf(const ZipReader &archive, const std::string &what)
{
    // A newer package keeps an old collection beside its own that only asks to update Anki.
    for (const char *name : {"collection.anki21b", "collection.anki21", "collection.anki2"}) {
        const auto index = archive.Find(name);
        if (!index)
            continue;
        std::string bytes = archive.Read(*index, CollectionBudget);
        if (IsZstdFrame(bytes))
            bytes = ZstdDecompressed(bytes, CollectionBudget, "The collection of " + what);
        return bytes;
    }
    throw Exception(what + " holds no Anki collection; nothing was imported");
}

void ReadNotes(SqliteDatabase &collection, ExchangeDeck &deck, std::unordered_map<long long, size_t> &itemOfNote)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    SqliteStatement notes = collection.Prepare("SELECT id, flds, tags FROM notes ORDER BY id");
    while (notes.Step()) {
        const std::string_view fields = notes.Text(1);
        ExchangeItem item;
        size_t start = 0;
        for (int number = 0; start <= fields.size(); ++number) {
            size_t end = fields.find(FieldSeparator, start);
            if (end == std::string_view::npos)
                end = fields.size();
            const std::string_view field = fields.substr(start, end - start);
            const HtmlField text = TextOfHtml(QString::fromUtf8(field.data(), qsizetype(field.size())));
            if (number == 0)
                item.word = text.text;
            else if (number == 1)
                item.definition = text.text;
            if (item.visual.empty())
                item.visual = text.picture.toStdString();
            if (item.audio.empty())
                item.audio = text.sound.toStdString();
            start = end + 1;
        }
        const std::string_view tags = notes.Text(2);
        for (const QString &tag : QString::fromUtf8(tags.data(), qsizetype(tags.size())).split(blanks, Qt::SkipEmptyParts))
            if (const auto frequency = FrequencyOfTag(tag))
                item.frequency = *frequency;
        itemOfNote.emplace(notes.Integer(0), deck.items.size());
        deck.items.push_back(std::move(item));
    }
}

void ReadReviews(SqliteDatabase &collection, ExchangeDeck &deck, const std::unordered_map<long long, size_t> &itemOfNote)
{
    if (!collection.HasTable("cards") || !collection.HasTable("revlog"))
        return;
    std::unordered_map<long long, size_t> itemOfCard;
    SqliteStatement cards = collection.Prepare("SELECT id, nid FROM cards");
    while (cards.Step()) {
        const auto item = itemOfNote.find(cards.Integer(1));
        if (item != itemOfNote.end())
            itemOfCard.emplace(cards.Integer(0), item->second);
    }
    // Types 0 to 3 are answers (learning, review, relearning, in a filtered deck); the others
    // record a change made by hand, not a review. A moment outside 2000 to 2100 is no real one.
    SqliteStatement reviews = collection.Prepare("SELECT id, cid, ease FROM revlog WHERE type BETWEEN 0 AND 3 "
                                                 "AND ease BETWEEN 1 AND 4 AND id BETWEEN 946684800000 AND 4102444800000 "
                                                 "ORDER BY id");
    while (reviews.Step()) {
        const auto item = itemOfCard.find(reviews.Integer(1));
        if (item != itemOfCard.end())
            deck.reviews.push_back({item->second, ReviewTime(reviews.Integer(0) / 1000), Grade(reviews.Integer(2))});
    }
}

} // namespace

ExchangeDeck ReadAnkiPackage(const std::string &path)
{
    const std::string what = QFile::decodeName(path.c_str()).toStdString();
    auto archive = std::make_shared<ZipReader>(path);
    std::string bytes = CollectionOf(*archive, what);
    ExchangeDeck deck;
    {
        SqliteDatabase collection(bytes, "The collection of " + what);
        if (!collection.HasTable("notes"))
            throw Exception("The collection of " + what + " has no notes table; nothing was imported");
        try {
            std::unordered_map<long long, size_t> itemOfNote;
            ReadNotes(collection, deck, itemOfNote);
            ReadReviews(collection, deck, itemOfNote);
        } catch (const Exception &e) {
            throw Exception("The collection of " + what + " is not one this program can read (" + e.message() +
                            "); nothing was imported");
        }
    }
    QHash<QString, std::string> map;
    if (const auto index = archive->Find("media"))
        map = ReadAnkiMediaMap(archive->Read(*index, MediumBudget));
    deck.media = std::make_unique<AnkiMedia>(std::move(archive), std::move(map));
    return deck;
}
