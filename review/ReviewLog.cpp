#include "review/ReviewLog.h"

#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <deque>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

ReviewLog::ReviewLog(const std::string &deckPath) : path(SidecarOf(deckPath)) {}

ReviewLog::FileIdentity ReviewLog::IdentityNow() const
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return {(long long)info.st_size, (long long)info.st_ino,
            (long long)(info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec)};
}

void ReviewLog::Load()
{
    settings.clear();
    items.Clear();
    history.clear();
    damaged.clear();
    tornTail = false;
    ++generation;
    identity = IdentityNow();
    exists = FileExists(path);
    if (!exists)
        return;
    Parse(ReadFileBytes(path));
}

void ReviewLog::Reload()
{
    if (IdentityNow() != identity)
        Load();
}

void ReviewLog::Parse(const std::string &content)
{
    // The state of an Item is its last line's, so only that line is read in full; the others
    // give the history its times and grades. A log holds some ten reviews per Item.
    struct ReviewLine {
        std::string_view word;
        uint64_t hash;
        size_t start;
        ReviewTime time;
    };
    std::vector<ReviewLine> reviews;
    reviews.reserve(content.size() / 64);
    history.reserve(content.size() / 64);
    std::deque<std::string> unescaped;   // the few words written with escapes
    size_t start = 0;
    int number = 0;
    while (start < content.size()) {
        const void *newline = std::memchr(content.data() + start, '\n', content.size() - start);
        if (!newline) {
            tornTail = true;
            break;
        }
        const size_t end = size_t(static_cast<const char *>(newline) - content.data());
        const std::string_view line(content.data() + start, end - start);
        ++number;
        switch (KindOfLine(line)) {
        case LogLineKind::Ignored:
            break;
        case LogLineKind::Setting: {
            auto [key, value] = ParseSettingLine(line);
            const auto known = std::find_if(settings.begin(), settings.end(), [&](const Setting &s) { return s.first == key; });
            if (known != settings.end())
                known->second = std::move(value);   // the last line of a key counts
            else
                settings.emplace_back(std::move(key), std::move(value));
            break;
        }
        case LogLineKind::Review:
            if (const auto head = ParseReviewHead(line)) {
                history.push_back({head->time, head->grade});
                std::string spare;
                std::string_view word = WordOf(*head, spare);
                if (!spare.empty())
                    word = unescaped.emplace_back(std::move(spare));
                reviews.push_back({word, WordTable<ItemHistory>::Hash(word), start, head->time});
                break;
            }
            damaged.push_back(number);
            break;
        case LogLineKind::Damaged:
            damaged.push_back(number);
            break;
        }
        start = end + 1;
    }
    // The words looked up in a stream, the memory of the lookups ahead asked for early.
    items.Reserve(reviews.size() / 8);
    constexpr size_t Ahead = 8;
    for (size_t i = 0; i < reviews.size(); ++i) {
        if (i + 2 * Ahead < reviews.size())
            items.PrefetchBucket(reviews[i + 2 * Ahead].hash);
        if (i + Ahead < reviews.size())
            items.PrefetchEntry(reviews[i + Ahead].hash);
        bool added;
        ItemHistory &item = items.Get(reviews[i].word, reviews[i].hash, added);
        if (added)
            item.firstReview = reviews[i].time;
        item.lastLine = reviews[i].start;
    }
    for (auto &entry : items.Entries()) {
        ItemHistory &item = entry.value;
        const std::string_view line(content.data() + item.lastLine, content.find('\n', item.lastLine) - item.lastLine);
        const auto head = ParseReviewHead(line);
        if (const auto card = ParseReviewState(head->stateFields, head->time)) {
            item.card = *card;
            continue;
        }
        // A last line whose state cannot be read: the Item starts again as new.
        damaged.push_back(int(std::count(content.data(), line.data(), '\n')) + 1);
        item.known = false;
    }
    std::sort(damaged.begin(), damaged.end());
}

const Card *ReviewLog::CardOf(const std::string &word) const
{
    const ItemHistory *item = items.Find(word);
    return item && item->known ? &item->card : nullptr;
}

ReviewTime ReviewLog::FirstReviewOf(const std::string &word) const
{
    const ItemHistory *item = items.Find(word);
    return item ? item->firstReview : 0;
}

int ReviewLog::FirstReviewedSince(ReviewTime since) const
{
    int count = 0;
    for (const auto &entry : items.Entries())
        count += entry.value.firstReview >= since;
    return count;
}

std::string ReviewLog::SettingValue(const std::string &key, const std::string &fallback) const
{
    for (const Setting &setting : settings)
        if (setting.first == key)
            return setting.second;
    return fallback;
}

std::string ReviewLog::Rewritten(const std::vector<Setting> &newSettings) const
{
    // Read again, so that reviews another program added meanwhile stay.
    const std::string content = exists ? ReadFileBytes(path) : ReviewLogHeader();
    std::string comments, reviews;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string_view line(content.data() + start, end + 1 - start);
        const LogLineKind kind = KindOfLine(line.substr(0, line.size() - 1));
        if (kind == LogLineKind::Setting)
            continue;
        // Comments before the first review open the file, as a reader meets them.
        (kind == LogLineKind::Ignored && reviews.empty() && line[0] == '#' ? comments : reviews).append(line);
    }
    std::string bytes = std::move(comments);
    for (const Setting &setting : newSettings)
        bytes += FormatSettingLine(setting.first, setting.second);
    return bytes + reviews;
}

void ReviewLog::Rewrite(const std::string &bytes)
{
    ReplaceFileContent(path, bytes);
    exists = true;
    tornTail = false;
    identity = IdentityNow();
}

void ReviewLog::ChangeSettings(const std::vector<Setting> &changes)
{
    Reload();
    std::vector<Setting> changed = settings;
    for (const Setting &change : changes) {
        auto found = std::find_if(changed.begin(), changed.end(), [&](const Setting &s) { return s.first == change.first; });
        if (found != changed.end())
            found->second = change.second;
        else
            changed.push_back(change);
    }
    Rewrite(Rewritten(changed));
    Load();
}

void ReviewLog::Append(const ReviewRecord &record)
{
    Reload();
    const std::string line = FormatReviewLine(record);
    if (!exists || tornTail) {
        // A new log, or one whose last line a crash cut short: the whole file is written anew.
        Rewrite(Rewritten(settings) + line);
    } else {
        AppendToFile(path, line);
        identity = IdentityNow();
    }
    Remember(record);
}

void ReviewLog::Remember(const ReviewRecord &record)
{
    history.push_back({record.time, record.grade});
    bool added;
    ItemHistory &item = items.Get(record.word, added);
    if (added)
        item.firstReview = record.time;
    item.card = record.after;
    item.known = true;
}
