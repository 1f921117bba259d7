#include "exchange/DeckExport.h"

#include "exchange/AnkiPackageWriter.h"
#include "exchange/KvtmlWriter.h"
#include "exchange/PlainTextWriter.h"
#include "platform/DeckLine.h"
#include "platform/PosixFile.h"
#include "platform/TextFile.h"
#include "review/ReviewHistory.h"
#include "review/ReviewWord.h"

#include <QFile>
#include <QFileInfo>

#include <unordered_map>

namespace {

// A Deck's path to a medium as a full path of the file system ("" for none).
std::string FullPath(const std::string &field, const DeckText &text, const std::string &deckFolder)
{
    if (field.empty())
        return {};
    const std::string path = text.NativePath(field);
    return path[0] == '/' ? path : deckFolder + "/" + path;
}

} // namespace

QString ExportSummary::Text() const
{
    QStringList lines{QStringLiteral("Items exported: %1").arg(exported)};
    if (mediaIncluded > 0)
        lines << QStringLiteral("Media files included: %1").arg(mediaIncluded);
    if (mediaMissing > 0)
        lines << QStringLiteral("Media files not found: %1").arg(mediaMissing);
    if (reviews > 0)
        lines << QStringLiteral("Reviews exported: %1").arg(reviews);
    return lines.join(QLatin1Char('\n'));
}

ExchangeDeck ReadDeckForExport(const std::string &deckPath)
{
    TextLineReader reader(deckPath);
    const DeckText text(DeckKindOf(reader.Mark()));
    const std::string folder = QFile::encodeName(QFileInfo(QFile::decodeName(deckPath.c_str())).absolutePath()).toStdString();
    ExchangeDeck deck;
    std::unordered_map<std::string, size_t> itemOfWord;
    std::vector<std::string> fields;
    while (!reader.AtEnd()) {
        SplitDeckLine(reader.ReadLineView(), fields, text.Separator());
        fields.resize(std::max<size_t>(fields.size(), 5));
        if (fields[0].empty())
            continue;
        ExchangeItem item{text.ToText(fields[0]), text.ToText(fields[2]), 0, FullPath(fields[3], text, folder),
                          FullPath(fields[4], text, folder)};
        if (!fields[1].empty() && fields[1][0] >= '0' && fields[1][0] <= '5')
            item.frequency = fields[1][0] - '0';
        itemOfWord.emplace(ReviewWordOf(fields[0], text), deck.items.size());
        deck.items.push_back(std::move(item));
    }
    for (const WordReview &review : ReadWordReviews(ReviewLog::SidecarOf(deckPath))) {
        const auto item = itemOfWord.find(review.word);
        if (item != itemOfWord.end())
            deck.reviews.push_back({item->second, review.time, review.grade});
    }
    return deck;
}

ExportSummary ExportDeck(const std::string &deckPath, const std::string &outPath, ExchangeFormat format)
{
    const ExchangeDeck deck = ReadDeckForExport(deckPath);
    ExportSummary summary;
    summary.exported = int(deck.items.size());
    std::string bytes;
    switch (format) {
    case ExchangeFormat::AnkiPackage: {
        const QString name = QFileInfo(QFile::decodeName(deckPath.c_str())).completeBaseName();
        const AnkiPackage package = AnkiPackageOf(deck, name);
        summary.mediaIncluded = package.mediaIncluded;
        summary.mediaMissing = package.mediaMissing;
        summary.reviews = int(deck.reviews.size());
        bytes = package.bytes;
        break;
    }
    case ExchangeFormat::Kvtml:
        bytes = KvtmlOf(deck, QFileInfo(QFile::decodeName(deckPath.c_str())).completeBaseName());
        break;
    case ExchangeFormat::Csv: bytes = DelimitedTextOf(deck, QLatin1Char(',')); break;
    case ExchangeFormat::Tsv: bytes = DelimitedTextOf(deck, QLatin1Char('\t')); break;
    }
    ReplaceFileContent(outPath, bytes);
    return summary;
}
