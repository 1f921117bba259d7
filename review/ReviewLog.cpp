#include "review/ReviewLog.h"

#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cerrno>
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
    items.clear();
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
    // give the history its times and grades.
    std::unordered_map<std::string, std::string_view> lastLines;
    size_t start = 0;
    int number = 0;
    while (start < content.size()) {
        const size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            tornTail = true;
            break;
        }
        ++number;
        std::string_view line(content.data() + start, end - start);
        const size_t next = end + 1;
        switch (KindOfLine(line)) {
        case LogLineKind::Ignored:
            break;
        case LogLineKind::Setting: {
            auto [key, value] = ParseSettingLine(line);
            bool known = false;
            for (Setting &setting : settings)
                if (setting.first == key) {
                    setting.second = value;   // the last line of a key counts
                    known = true;
                }
            if (!known)
                settings.emplace_back(std::move(key), std::move(value));
            break;
        }
        case LogLineKind::Review:
            if (auto head = ParseReviewHead(line)) {
                history.push_back({head->time, head->grade});
                auto [found, added] = items.try_emplace(head->word);
                if (added)
                    found->second.firstReview = head->time;
                lastLines[head->word] = line;
                break;
            }
            [[fallthrough]];
        case LogLineKind::Damaged:
            damaged.push_back(number);
            break;
        }
        start = next;
    }
    for (auto &[word, line] : lastLines) {
        const auto head = ParseReviewHead(line);
        const auto card = ParseReviewState(head->stateFields, head->time);
        if (card) {
            items[word].card = *card;
            continue;
        }
        // A last line whose state cannot be read: the Item starts again as new.
        damaged.push_back(int(std::count(content.data(), line.data(), '\n')) + 1);
        items.erase(word);
    }
    std::sort(damaged.begin(), damaged.end());
}

const Card *ReviewLog::CardOf(const std::string &word) const
{
    const auto found = items.find(word);
    return found == items.end() ? nullptr : &found->second.card;
}

ReviewTime ReviewLog::FirstReviewOf(const std::string &word) const
{
    const auto found = items.find(word);
    return found == items.end() ? 0 : found->second.firstReview;
}

int ReviewLog::FirstReviewedSince(ReviewTime since) const
{
    int count = 0;
    for (const auto &item : items)
        count += item.second.firstReview >= since;
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
    auto [found, added] = items.try_emplace(record.word);
    if (added)
        found->second.firstReview = record.time;
    found->second.card = record.after;
}
