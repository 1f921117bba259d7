// A Deck killed in the middle of its commands. A child process runs Add, Update and Delete on a
// 2,000-Item Deck in a loop and is killed with SIGKILL at a random moment; afterwards the Deck
// must read back as exactly the content before or after one command: never a mix, never cut
// short, never a temporary file in its place. GLOSSAD_CRASH_KILLS sets the number of kills
// (200 by default; scripts/crash_consistency.sh runs 5,000). The same is done to a Deck's review
// log while reviews are appended and its settings rewritten: every review reported written must
// read back, in order, and nothing else.
#include "app/DeckStore.h"
#include "review/SpacedReview.h"
#include "support/TempFolder.h"

#include <QDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Command {
    enum Kind { Add, Update, Delete } kind;
    DeckItem item;
};

// What the commands should make of the Deck, kept apart from the store: its lines by word.
class DeckModel {
public:
    explicit DeckModel(int items)
    {
        for (int i = 0; i < items; ++i)
            lines.push_back({"word" + std::to_string(i), Line("word" + std::to_string(i), i % 6, "meaning")});
    }

    // Command n, chosen from n and the Deck as it stands, so child and parent agree on it.
    Command Next(uint64_t n) const
    {
        std::mt19937_64 random(n * 0x9E3779B97F4A7C15ull + 1);
        const size_t count = lines.size();
        const int pick = count < 1900 ? 0 : count > 2100 ? 2 : int(random() % 3);
        Command command{Command::Kind(pick), {}};
        command.item.word = pick == Command::Add ? "new" + std::to_string(n) : lines[random() % count].word;
        command.item.frequency = std::to_string(random() % 6);
        command.item.definition = "meaning " + std::string(random() % 200, 'x');
        return command;
    }

    void Apply(const Command &command)
    {
        const auto sameWord = [&](const Entry &entry) { return entry.word == command.item.word; };
        if (command.kind == Command::Delete) {
            std::erase_if(lines, sameWord);
            return;
        }
        const auto found = std::find_if(lines.begin(), lines.end(), sameWord);
        if (found != lines.end())
            lines.erase(found);
        const DeckItem &item = command.item;
        lines.push_back({item.word, Line(item.word, std::stoi(item.frequency), item.definition)});
    }

    std::string Bytes() const
    {
        std::string bytes;
        for (const Entry &entry : lines)
            bytes += entry.line + "\r\n";
        return bytes;
    }

private:
    struct Entry {
        std::string word, line;
    };
    static std::string Line(const std::string &word, int frequency, const std::string &definition)
    {
        const std::string s = "\xB6";
        return word + s + std::to_string(frequency) + s + definition + s + s + s;
    }
    std::vector<Entry> lines;
};

// The child: runs the commands from number `first` on, reporting the count done after each.
[[noreturn]] void RunCommands(const std::string &path, DeckModel model, uint64_t first, int report)
{
    DeckStore store;
    store.Bind(path);
    for (uint64_t n = first;; ++n) {
        const Command command = model.Next(n);
        try {
            if (command.kind == Command::Delete)
                store.DeleteAllWordLines(command.item.word);
            else
                store.StoreItem(command.item);
        } catch (...) {
            std::_Exit(2);
        }
        model.Apply(command);
        const uint64_t done = n + 1;
        if (::write(report, &done, sizeof done) != sizeof done)
            std::_Exit(3);
    }
}

// The child of the review case: records review n, n+1, ... and reports the count written after
// each; before every 40th it rewrites the settings.
constexpr ReviewTime FirstReview = 1718098200;
[[noreturn]] void RunReviews(const std::string &deck, uint64_t first, int report)
{
    SpacedReview review(deck);
    try {
        review.Open();
        for (uint64_t n = first;; ++n) {
            if (n % 40 == 0)
                review.Log().ChangeSettings({{"new-per-day", std::to_string(n % 97)}});
            review.Record("word" + std::to_string(n % 50), Grade(1 + n % 4), FirstReview + ReviewTime(n) * 61);
            const uint64_t done = n + 1;
            if (::write(report, &done, sizeof done) != sizeof done)
                std::_Exit(3);
        }
    } catch (...) {
        std::_Exit(2);
    }
}

// Starts the child, lets it work a random while after its first report, kills it; the count last reported.
template <typename Child>
uint64_t KillWhileRunning(Child child, std::mt19937 &moments)
{
    int report[2];
    EXPECT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        child(report[1]);
    }
    ::close(report[1]);
    uint64_t reported = 0;
    const bool started = ::read(report[0], &reported, sizeof reported) == sizeof reported;
    if (started)
        ::usleep(moments() % 5000);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    for (uint64_t count; ::read(report[0], &count, sizeof count) == sizeof count;)
        reported = count;
    ::close(report[0]);
    EXPECT_TRUE(started && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child failed, status " << status;
    return reported;
}

int KillsWanted()
{
    const char *wanted = std::getenv("GLOSSAD_CRASH_KILLS");
    return wanted && std::atoi(wanted) > 0 ? std::atoi(wanted) : 200;
}

} // namespace

TEST(CrashConsistency, AKilledCommandLeavesTheDeckBeforeOrAfterIt)
{
    TempFolder folder;
    const std::string deck = folder.file("deck.gsd");
    DeckModel model(2000);
    uint64_t done = 0;
    WriteWholeFile(deck, model.Bytes());
    std::mt19937 moments(20240611);
    int killedBefore = 0, killedAfter = 0, leftovers = 0;
    const int kills = KillsWanted();

    for (int kill = 0; kill < kills; ++kill) {
        const uint64_t reported = KillWhileRunning([&](int report) { RunCommands(deck, model, done, report); }, moments);
        ASSERT_FALSE(::testing::Test::HasFailure());

        while (done < reported)
            model.Apply(model.Next(done++));
        const std::string content = ReadWholeFile(deck);
        if (content == model.Bytes()) {
            ++killedBefore;
        } else {
            model.Apply(model.Next(done++));
            ASSERT_TRUE(content == model.Bytes()) << "kill " << kill << " after command " << reported
                                                  << ": the Deck holds " << content.size() << " bytes, neither state";
            ++killedAfter;
        }
        // Beside the Deck only the hidden temporary file of a rewrite cut short may be left.
        for (const QString &name : QDir(QString::fromStdString(folder.path())).entryList(QDir::Files | QDir::Hidden)) {
            if (name == QStringLiteral("deck.gsd"))
                continue;
            EXPECT_TRUE(name.startsWith(QStringLiteral(".deck.gsd."))) << name.toStdString();
            QFile::remove(QString::fromStdString(folder.path()) + QLatin1Char('/') + name);
            ++leftovers;
        }
    }
    std::cout << kills << " kills after " << done << " commands: Deck as before the command in flight " << killedBefore
              << " times, as after it " << killedAfter << " times; hidden temporary files left by a kill: " << leftovers
              << std::endl;
}

TEST(CrashConsistency, AKilledReviewLeavesEveryReviewReportedWritten)
{
    TempFolder folder;
    const std::string deck = folder.file("deck.gsd");
    std::mt19937 moments(20240612);
    uint64_t written = 0;
    int inFlightKept = 0;
    const int kills = KillsWanted() / 4;
    for (int kill = 0; kill < kills; ++kill) {
        const uint64_t reported = KillWhileRunning([&](int report) { RunReviews(deck, written, report); }, moments);
        ASSERT_FALSE(::testing::Test::HasFailure());
        ReviewLog log(deck);
        log.Load();
        ASSERT_TRUE(log.DamagedLines().empty()) << "kill " << kill << ": damaged line " << log.DamagedLines().front();
        const auto &history = log.History();
        // Every review reported, perhaps the one in flight, and nothing else, in order.
        ASSERT_TRUE(history.size() == reported || history.size() == reported + 1)
            << "kill " << kill << ": " << history.size() << " reviews read back, " << reported << " reported";
        for (size_t i = 0; i < history.size(); ++i)
            ASSERT_EQ(history[i].time, FirstReview + ReviewTime(i) * 61) << "kill " << kill << ", review " << i;
        inFlightKept += history.size() > reported;
        written = history.size();
    }
    std::cout << kills << " kills after " << written << " reviews: every review reported was there; the review in "
              << "flight was kept " << inFlightKept << " times" << std::endl;
}
