#pragma once
// The text of a Deck's review log (the sidecar file "words.gsd.review"): UTF-8, comment lines
// starting with "#", settings as "key=value" lines, and one line per review with its fields
// separated by tabs: time (UTC), grade, the state after it (state, learning step, stability,
// difficulty, due time), the number of reviews so far, and the word. Every line ends with LF.
#include "review/Fsrs.h"

#include <optional>
#include <string>
#include <string_view>

struct ReviewRecord {
    ReviewTime time = 0;
    Grade grade = Grade::Good;
    Card after;
    std::string word;   // UTF-8
};

// The comment lines that open a new log.
std::string ReviewLogHeader();
// One review line, with its LF.
std::string FormatReviewLine(const ReviewRecord &record);
// One "key=value" line, with its LF.
std::string FormatSettingLine(const std::string &key, const std::string &value);

// What a line of the file is (without its line end).
enum class LogLineKind { Ignored, Setting, Review, Damaged };
LogLineKind KindOfLine(std::string_view line);
// A setting line's key and value.
std::pair<std::string, std::string> ParseSettingLine(std::string_view line);
// A key that a setting line may carry: letters, digits, "-", "_" and ".".
bool IsSettingKey(std::string_view key);

// The fields of a review line that every reader needs, checked: time, grade and word.
struct ReviewLineHead {
    ReviewTime time = 0;
    Grade grade = Grade::Good;
    std::string_view word;          // as written: see WordOf
    std::string_view stateFields;   // state to reviews so far, not yet read
};
std::optional<ReviewLineHead> ParseReviewHead(std::string_view line);
// The word of a line head; `spare` holds it when escapes had to be undone.
std::string_view WordOf(const ReviewLineHead &head, std::string &spare);
// The state after the review, from the fields ParseReviewHead left.
std::optional<Card> ParseReviewState(std::string_view stateFields, ReviewTime time);

const char *GradeName(Grade grade);          // "again", "hard", "good", "easy"
const char *StateName(CardState state);      // "new", "learning", "review", "relearning"
// A number as short as it can be written and still be read back exactly.
std::string ExactNumber(double value);
