// A Deck killed in the middle of its commands. A child process runs Add, Update and Delete on a
// 2,000-Item Deck in a loop and is killed with SIGKILL at a random moment; afterwards the Deck
// must read back as exactly the content before or after one command: never a mix, never cut
// short, never a temporary file in its place. GLOSSAD_CRASH_KILLS sets the number of kills
// (200 by default; scripts/crash_consistency.sh runs 5,000).
#include "app/DeckStore.h"
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
        int report[2];
        ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(report[0]);
            RunCommands(deck, model, done, report[1]);
        }
        ::close(report[1]);
        // Once the first command is through, let it run on for a random while, then kill it.
        uint64_t reported = done;
        const bool started = ::read(report[0], &reported, sizeof reported) == sizeof reported;
        if (started)
            ::usleep(moments() % 5000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (uint64_t count; ::read(report[0], &count, sizeof count) == sizeof count;)
            reported = count;
        ::close(report[0]);
        ASSERT_TRUE(started && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the commands failed, status " << status;

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
