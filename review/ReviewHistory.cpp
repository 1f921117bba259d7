#include "review/ReviewHistory.h"

#include "platform/TextFile.h"
#include "review/ReviewSettings.h"

#include <algorithm>

std::vector<WordReview> ReadWordReviews(const std::string &logPath)
{
    std::vector<WordReview> reviews;
    if (!FileExists(logPath))
        return reviews;
    const std::string content = ReadFileBytes(logPath);
    size_t start = 0;
    // A last line without its line end was cut short and does not count.
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string_view line(content.data() + start, end - start);
        if (KindOfLine(line) != LogLineKind::Review)
            continue;
        if (const auto head = ParseReviewHead(line)) {
            std::string spare;
            reviews.push_back({std::string(WordOf(*head, spare)), head->time, head->grade});
        }
    }
    return reviews;
}

std::vector<ReplayedReview> Replayed(std::vector<WordReview> reviews)
{
    std::stable_sort(reviews.begin(), reviews.end(),
                     [](const WordReview &a, const WordReview &b) { return a.time < b.time; });
    const Scheduler scheduler(ReviewSettings{}.scheduler);
    WordTable<Card> cards;
    std::vector<ReplayedReview> replayed;
    replayed.reserve(reviews.size());
    for (WordReview &review : reviews) {
        bool added;
        Card &card = cards.Get(review.word, added);
        const Card before = card;
        card = scheduler.Next(card, review.time, review.grade);
        replayed.push_back({std::move(review), before, card});
    }
    return replayed;
}

std::string ReplayedLog(std::vector<WordReview> reviews)
{
    std::string log = ReviewLogHeader();
    for (const Setting &setting : DefaultSettingLines())
        log += FormatSettingLine(setting.first, setting.second);
    for (const ReplayedReview &replayed : Replayed(std::move(reviews)))
        log += FormatReviewLine({replayed.review.time, replayed.review.grade, replayed.after, replayed.review.word});
    return log;
}
