#include "exchange/DeckImport.h"

#include "exchange/AnkiPackageReader.h"
#include "exchange/ExchangeFormat.h"
#include "exchange/FieldText.h"
#include "exchange/KvtmlReader.h"
#include "exchange/MediaFolder.h"
#include "exchange/PlainTextReader.h"
#include "platform/DeckLine.h"
#include "platform/FileChangeLock.h"
#include "platform/PosixFile.h"
#include "platform/TextFile.h"
#include "review/ReviewHistory.h"

#include <QFile>

#include <cerrno>
#include <map>
#include <optional>
#include <unistd.h>
#include <unordered_set>

namespace {

ExchangeDeck ReadDeckFile(const std::string &path)
{
    if (!FileCanBeRead(path))
        RaiseLastInOutError();
    std::optional<ExchangeFormat> format = FormatOfFileName(path);
    if (!format) {
        FileHandle file(OpenFileForReading(path));
        char start[512];
        const ssize_t got = file ? ::read(file.get(), start, sizeof start) : -1;
        format = FormatOfContent(got > 0 ? std::string(start, size_t(got)) : std::string());
    }
    switch (*format) {
    case ExchangeFormat::AnkiPackage: return ReadAnkiPackage(path);
    case ExchangeFormat::Kvtml: return ReadKvtml(path);
    default: return ReadPlainText(path);
    }
}

// Copies the media the Items name into the new Deck's folder, each once.
class MediaCopier {
public:
    MediaCopier(MediaSource &source, MediaFolder &folder, ImportSummary &summary)
        : source(source), folder(folder), summary(summary)
    {
    }
    // The Deck's path of the medium ("" when the source has none of that name).
    std::string Copy(const std::string &reference)
    {
        if (reference.empty())
            return {};
        const auto known = copied.find(reference);
        if (known != copied.end())
            return known->second;
        std::string &path = copied[reference];
        const std::optional<std::string> bytes = source.Read(reference);
        if (!bytes) {
            ++summary.mediaMissing;
            return path;
        }
        total += bytes->size();
        if (total > AllMediaBudget)
            throw Exception("The media of the file would take more than " + std::to_string(AllMediaBudget >> 30) +
                            " GB; nothing was imported");
        path = folder.Add(reference, *bytes);
        ++summary.mediaCopied;
        return path;
    }

private:
    MediaSource &source;
    MediaFolder &folder;
    ImportSummary &summary;
    std::map<std::string, std::string> copied;
    unsigned long long total = 0;
};

// Writes the review log and then the Deck; when the Deck cannot be written, the log it had
// before comes back.
void WriteDeckAndLog(const std::string &deckPath, const std::string &deck, const std::vector<WordReview> &reviews)
{
    std::optional<FileChangeLock> replaced;
    if (FileCanBeRead(deckPath))
        replaced.emplace(deckPath);
    const std::string logPath = ReviewLog::SidecarOf(deckPath);
    const bool hadLog = FileExists(logPath);
    // An old log would give the new Items the states of the old ones.
    if (reviews.empty() && !hadLog) {
        ReplaceFileContent(deckPath, deck);
        return;
    }
    const std::string oldLog = hadLog ? ReadFileBytes(logPath) : std::string();
    ReplaceFileContent(logPath, ReplayedLog(reviews));
    try {
        ReplaceFileContent(deckPath, deck);
    } catch (...) {
        if (hadLog)
            ReplaceFileContent(logPath, oldLog);
        else
            ::unlink(logPath.c_str());
        throw;
    }
}

} // namespace

QString ImportSummary::Text() const
{
    QStringList lines{QStringLiteral("Items imported: %1").arg(imported),
                      QStringLiteral("Items skipped: %1 (empty word: %2, duplicate word: %3)")
                          .arg(emptyWords + duplicateWords)
                          .arg(emptyWords)
                          .arg(duplicateWords),
                      QStringLiteral("Media files copied: %1").arg(mediaCopied)};
    if (mediaMissing > 0)
        lines << QStringLiteral("Media files not found: %1").arg(mediaMissing);
    if (reviews > 0)
        lines << QStringLiteral("Reviews taken over: %1").arg(reviews);
    for (const QString &remark : remarks)
        lines << remark;
    return lines.join(QLatin1Char('\n'));
}

ImportSummary ImportDeck(const std::string &sourcePath, const std::string &deckPath, const ImportProgress &progress)
{
    if (progress && !progress(0, 0))
        throw EImportCancelled();
    ExchangeDeck source = ReadDeckFile(sourcePath);
    ImportSummary summary;
    summary.remarks = source.remarks;
    MediaFolder folder(deckPath);
    MediaCopier media(*source.media, folder, summary);
    std::string deck(Utf8DeckMark);
    std::unordered_set<std::string> words;
    std::vector<const std::string *> wordOfItem(source.items.size(), nullptr);
    const int total = int(source.items.size());
    for (size_t i = 0; i < source.items.size(); ++i) {
        if (progress && i % 256 == 0 && !progress(int(i), total))
            throw EImportCancelled();
        const ExchangeItem &item = source.items[i];
        DeckItem line{DeckFieldOf(item.word), std::to_string(item.frequency), {}, {}, {}, DeckKind::Utf8};
        if (line.word.empty()) {
            ++summary.emptyWords;
            continue;
        }
        const auto [word, added] = words.insert(line.word);
        if (!added) {
            ++summary.duplicateWords;
            continue;
        }
        wordOfItem[i] = &*word;
        line.definition = DeckFieldOf(item.definition);
        line.visual = media.Copy(item.visual);
        line.audio = media.Copy(item.audio);
        deck += MakeDeckLine(line);
        deck += "\r\n";
        ++summary.imported;
    }
    std::vector<WordReview> reviews;
    for (const ExchangeReview &review : source.reviews)
        if (review.item < wordOfItem.size() && wordOfItem[review.item])
            reviews.push_back({*wordOfItem[review.item], review.time, review.grade});
    summary.reviews = int(reviews.size());
    if (progress && !progress(total, total))
        throw EImportCancelled();
    folder.Sync();
    WriteDeckAndLog(deckPath, deck, reviews);
    folder.Keep();
    return summary;
}
