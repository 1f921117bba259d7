#include "review/ReviewLogFormat.h"

#include "review/TimeText.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

namespace {

constexpr std::array<std::string_view, 4> GradeNames{"again", "hard", "good", "easy"};
constexpr std::array<std::string_view, 4> StateNames{"new", "learning", "review", "relearning"};

// Words may hold any character; the few that would break a line are written as escapes.
std::string EscapedWord(const std::string &word)
{
    std::string text;
    text.reserve(word.size());
    for (char c : word) {
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '\t': text += "\\t"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        default: text += c;
        }
    }
    return text;
}

std::optional<std::string> UnescapedWord(std::string_view text)
{
    if (text.find('\\') == std::string_view::npos)
        return std::string(text);
    std::string word;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            word += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\': word += '\\'; break;
        case 't': word += '\t'; break;
        case 'n': word += '\n'; break;
        case 'r': word += '\r'; break;
        default: return std::nullopt;
        }
    }
    return word;
}

// The next tab-separated field; false when there is none.
bool NextField(std::string_view &rest, std::string_view &field)
{
    if (rest.data() == nullptr)
        return false;
    const size_t tab = rest.find('\t');
    field = rest.substr(0, tab);
    rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    return true;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number &value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

template <size_t N>
int IndexOfName(const std::array<std::string_view, N> &names, std::string_view text)
{
    for (size_t i = 0; i < N; ++i)
        if (text == names[i])
            return int(i);
    return -1;
}

} // namespace

const char *GradeName(Grade grade) { return GradeNames[size_t(int(grade) - 1)].data(); }

const char *StateName(CardState state) { return StateNames[size_t(state)].data(); }

std::string ExactNumber(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string ReviewLogHeader()
{
    return "# Glossadrome review log of the Deck whose name is this file's without \".review\".\n"
           "# Settings are key=value lines. Then one line per review, its fields separated by tabs:\n"
           "# time (UTC), grade, then the state after it: state, learning step, stability (days),\n"
           "# difficulty (1 to 10), due (UTC), reviews so far; last the word. A last line without\n"
           "# a line end was cut short and does not count.\n";
}

std::string FormatReviewLine(const ReviewRecord &record)
{
    const Card &card = record.after;
    std::string line = FormatIsoTime(record.time);
    for (const std::string &field :
         {std::string(GradeName(record.grade)), std::string(StateName(card.state)), std::to_string(card.step),
          ExactNumber(card.stability), ExactNumber(card.difficulty), FormatIsoTime(card.due),
          std::to_string(card.reps), EscapedWord(record.word)}) {
        line += '\t';
        line += field;
    }
    line += '\n';
    return line;
}

std::string FormatSettingLine(const std::string &key, const std::string &value)
{
    std::string line = key + "=";
    // A value never breaks its line.
    for (char c : value)
        line += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    return line + "\n";
}

bool IsSettingKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (char c : key)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            return false;
    return true;
}

LogLineKind KindOfLine(std::string_view line)
{
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos || line[start] == '#')
        return LogLineKind::Ignored;
    if (line.find('\t') != std::string_view::npos)
        return LogLineKind::Review;
    const size_t equals = line.find('=');
    return equals != std::string_view::npos && IsSettingKey(line.substr(0, equals)) ? LogLineKind::Setting
                                                                                     : LogLineKind::Damaged;
}

std::pair<std::string, std::string> ParseSettingLine(std::string_view line)
{
    const size_t equals = line.find('=');
    std::string_view value = line.substr(equals + 1);
    if (!value.empty() && value.back() == '\r')
        value.remove_suffix(1);
    return {std::string(line.substr(0, equals)), std::string(value)};
}

std::optional<ReviewLineHead> ParseReviewHead(std::string_view line)
{
    std::string_view rest = line, time, grade;
    if (!NextField(rest, time) || !NextField(rest, grade) || rest.data() == nullptr)
        return std::nullopt;
    // The word is the last field: the state's six fields come before it.
    size_t wordStart = 0;
    for (int tabs = 0; tabs < 6; ++tabs) {
        const size_t tab = rest.find('\t', wordStart);
        if (tab == std::string_view::npos)
            return std::nullopt;
        wordStart = tab + 1;
    }
    const std::string_view word = rest.substr(wordStart);
    const auto when = ParseIsoTime(time);
    const int gradeIndex = IndexOfName(GradeNames, grade);
    std::string spare;
    if (!when || gradeIndex < 0 || word.empty() || word.find('\t') != std::string_view::npos ||
        (word.find('\\') != std::string_view::npos && !UnescapedWord(word)))
        return std::nullopt;
    return ReviewLineHead{*when, Grade(gradeIndex + 1), word, rest.substr(0, wordStart - 1)};
}

std::string_view WordOf(const ReviewLineHead &head, std::string &spare)
{
    if (head.word.find('\\') == std::string_view::npos)
        return head.word;
    spare = *UnescapedWord(head.word);
    return spare;
}

std::optional<Card> ParseReviewState(std::string_view fields, ReviewTime time)
{
    std::string_view state, step, stability, difficulty, due, reps;
    Card card;
    if (!NextField(fields, state) || !NextField(fields, step) || !NextField(fields, stability) ||
        !NextField(fields, difficulty) || !NextField(fields, due) || !NextField(fields, reps) || fields.data() != nullptr)
        return std::nullopt;
    const int stateIndex = IndexOfName(StateNames, state);
    const auto dueTime = ParseIsoTime(due);
    if (stateIndex <= 0 || !dueTime || !ReadNumber(step, card.step) || card.step < 0 ||
        !ReadNumber(stability, card.stability) || !ReadNumber(difficulty, card.difficulty) ||
        !ReadNumber(reps, card.reps) || card.reps < 1)
        return std::nullopt;
    // A state the model could not have reached would make it compute nonsense.
    if (!(card.stability >= 0.001 && card.stability <= 36500) || !(card.difficulty >= 1 && card.difficulty <= 10))
        return std::nullopt;
    card.state = CardState(stateIndex);
    card.due = *dueTime;
    card.lastReview = time;
    return card;
}
