#include "review/ReviewSettings.h"

#include "review/ReviewLogFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace {

const char *const RetentionKey = "desired-retention";
const char *const NewPerDayKey = "new-per-day";
const char *const LearningStepsKey = "learning-steps";
const char *const RelearningStepsKey = "relearning-steps";
const char *const MaximumIntervalKey = "maximum-interval";
const char *const FuzzKey = "fuzz";
const char *const WeightsKey = "weights";

template <typename Number>
std::optional<Number> NumberOf(const std::string &text)
{
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "1m 10m": steps in minutes, hours or days, separated by blanks or commas.
std::optional<std::vector<int>> StepsOf(const std::string &text)
{
    std::vector<int> steps;
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream words(spaced);
    for (std::string word; words >> word;) {
        const char unit = word.back();
        const int scale = unit == 'm' ? 1 : unit == 'h' ? 60 : unit == 'd' ? 1440 : 0;
        const auto count = NumberOf<int>(word.substr(0, word.size() - 1));
        if (scale == 0 || !count || *count < 1 || *count > 365 * 1440 / scale)
            return std::nullopt;
        steps.push_back(*count * scale);
    }
    return steps;
}

std::string StepsText(const std::vector<int> &steps)
{
    std::string text;
    for (int minutes : steps) {
        if (!text.empty())
            text += ' ';
        text += minutes % 1440 == 0 ? std::to_string(minutes / 1440) + "d"
                : minutes % 60 == 0 ? std::to_string(minutes / 60) + "h"
                                    : std::to_string(minutes) + "m";
    }
    return text;
}

std::optional<std::array<double, 21>> WeightsOf(const std::string &text)
{
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream words(spaced);
    std::array<double, 21> weights{};
    size_t count = 0;
    for (std::string word; words >> word; ++count) {
        const auto weight = NumberOf<double>(word);
        if (count >= weights.size() || !weight || !std::isfinite(*weight))
            return std::nullopt;
        weights[count] = *weight;
    }
    if (count != weights.size())
        return std::nullopt;
    return weights;
}

} // namespace

ReviewSettings SettingsOf(const ReviewLog &log)
{
    ReviewSettings settings;
    SchedulerParameters &p = settings.scheduler;
    // A key the log does not have, or whose value cannot be used, keeps its default.
    const auto usable = [&](const char *key, std::string &value) {
        const char *const missing = "\n";
        value = log.SettingValue(key, missing);
        return value != missing && SettingProblem(key, value).empty();
    };
    std::string value;
    if (usable(RetentionKey, value))
        p.retention = *NumberOf<double>(value);
    if (usable(NewPerDayKey, value))
        settings.newPerDay = *NumberOf<int>(value);
    if (usable(LearningStepsKey, value))
        p.learningSteps = *StepsOf(value);
    if (usable(RelearningStepsKey, value))
        p.relearningSteps = *StepsOf(value);
    if (usable(MaximumIntervalKey, value))
        p.maximumInterval = *NumberOf<int>(value);
    if (usable(FuzzKey, value))
        p.fuzz = value == "1";
    if (usable(WeightsKey, value))
        p.w = *WeightsOf(value);
    return settings;
}

std::vector<Setting> DefaultSettingLines()
{
    const ReviewSettings defaults;
    const SchedulerParameters &p = defaults.scheduler;
    std::string weights;
    for (double w : p.w)
        weights += (weights.empty() ? "" : " ") + ExactNumber(w);
    return {{RetentionKey, ExactNumber(p.retention)},
            {NewPerDayKey, std::to_string(defaults.newPerDay)},
            {LearningStepsKey, StepsText(p.learningSteps)},
            {RelearningStepsKey, StepsText(p.relearningSteps)},
            {MaximumIntervalKey, std::to_string(p.maximumInterval)},
            {FuzzKey, p.fuzz ? "1" : "0"},
            {WeightsKey, weights}};
}

std::string SettingProblem(const std::string &key, const std::string &value)
{
    if (key == RetentionKey) {
        const auto retention = NumberOf<double>(value);
        return retention && *retention > 0 && *retention < 1 ? "" : "the desired retention is a number between 0 and 1, such as 0.9";
    }
    if (key == NewPerDayKey) {
        const auto count = NumberOf<int>(value);
        return count && *count >= 0 ? "" : "the number of new Items a day is a whole number, 0 or more";
    }
    if (key == LearningStepsKey || key == RelearningStepsKey)
        return StepsOf(value) ? "" : "steps are times such as \"1m 10m\" (minutes m, hours h or days d), or none";
    if (key == MaximumIntervalKey) {
        const auto days = NumberOf<int>(value);
        return days && *days >= 1 && *days <= 36500 ? "" : "the maximum interval is a number of days from 1 to 36500";
    }
    if (key == FuzzKey)
        return value == "0" || value == "1" ? "" : "fuzz is 1 (on) or 0 (off)";
    if (key == WeightsKey)
        return WeightsOf(value) ? "" : "the weights are 21 numbers";
    return "";
}
