#pragma once
// A deck on its way between this program and another: its Items as text, the media they name
// and the history of their reviews.
#include "review/Fsrs.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct ExchangeItem {
    QString word, definition;
    int frequency = 0;
    // The media, named as the source names them: a name in an archive, a path, "" for none.
    std::string visual, audio;
};

struct ExchangeReview {
    size_t item = 0;   // index into the items
    ReviewTime time = 0;
    Grade grade = Grade::Good;
};

// Where an imported deck's media are found.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    // The bytes of a medium, or nothing when the source has none of that name. Throws when the
    // medium cannot be read safely (damaged, or larger than a medium may be).
    virtual std::optional<std::string> Read(const std::string &reference) = 0;
};

struct ExchangeDeck {
    std::vector<ExchangeItem> items;
    std::vector<ExchangeReview> reviews;
    // What the reader had to do to read the file, for the summary.
    std::vector<QString> remarks;
    std::unique_ptr<MediaSource> media;
};

// The most a single medium may take, and all the media of one import together, so that an
// archive that claims gigabytes is refused before it fills the memory or the disk.
inline constexpr unsigned long long MediumBudget = 256ull << 20;
inline constexpr unsigned long long AllMediaBudget = 4ull << 30;

// The frequency a tag such as "Frequency::3" gives (0 to 5), or nothing.
std::optional<int> FrequencyOfTag(const QString &tag);
QString FrequencyTag(int frequency);
