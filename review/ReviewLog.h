#pragma once
// A Deck's review log, kept in a sidecar file beside the Deck ("words.gsd.review"): its settings
// and every review, from which the current state of each Item follows (the state after its last
// review). Reviews are appended; the file is rewritten whole, all or nothing, only to change
// settings or to drop a line a crash cut short.
#include "review/ReviewLogFormat.h"
#include "review/WordTable.h"

#include <string>
#include <utility>
#include <vector>

using Setting = std::pair<std::string, std::string>;

// One review of the history: when, and whether it was recalled.
struct ReviewMark {
    ReviewTime time;
    Grade grade;
};

class ReviewLog {
public:
    // The log of the Deck at deckPath (a path of the file system's own bytes).
    explicit ReviewLog(const std::string &deckPath);
    static std::string SidecarOf(const std::string &deckPath) { return deckPath + ".review"; }
    const std::string &Path() const { return path; }

    // Reads the file again; a missing file is an empty log. Throws EInOutError when it cannot
    // be read. Damaged lines are left out and listed.
    void Load();
    // Loads again when the file changed since it was read (another program added reviews).
    void Reload();

    // The state of an Item after its last review; nullptr for an Item never reviewed.
    const Card *CardOf(const std::string &word) const;
    // When the Item was first reviewed (0 for none).
    ReviewTime FirstReviewOf(const std::string &word) const;
    const std::vector<ReviewMark> &History() const { return history; }
    // Counts the Items first reviewed at `since` or later.
    int FirstReviewedSince(ReviewTime since) const;
    // Goes up with every load: states handed out before are no longer valid.
    int Generation() const { return generation; }
    // 1-based numbers of the lines that are neither comment, setting nor review.
    const std::vector<int> &DamagedLines() const { return damaged; }

    const std::vector<Setting> &Settings() const { return settings; }
    std::string SettingValue(const std::string &key, const std::string &fallback) const;
    // Sets these keys (others keep their values and order) in one rewrite of the file.
    void ChangeSettings(const std::vector<Setting> &changes);

    // Writes one review at the end of the file, synced to the disk, then takes it into the
    // state. A failed write leaves the file as it was and throws.
    void Append(const ReviewRecord &record);
    // Takes a review into the state without writing it.
    void Remember(const ReviewRecord &record);

private:
    struct ItemHistory {
        Card card;
        ReviewTime firstReview = 0;
        size_t lastLine = 0;   // while the file is read: where the Item's last line starts
        bool known = true;     // false when its last line could not be read: the Item is new
    };
    struct FileIdentity {
        long long size = -1, inode = -1, modified = -1;
        bool operator==(const FileIdentity &) const = default;
    };
    FileIdentity IdentityNow() const;
    void Parse(const std::string &content);
    // The file as it should be with these settings and review lines.
    std::string Rewritten(const std::vector<Setting> &newSettings) const;
    void Rewrite(const std::string &bytes);

    std::string path;
    std::vector<Setting> settings;
    WordTable<ItemHistory> items;
    std::vector<ReviewMark> history;
    std::vector<int> damaged;
    bool tornTail = false;         // the file ends in a line without its line end
    bool exists = false;
    int generation = 0;
    FileIdentity identity;
};
