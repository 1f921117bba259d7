#include "app/DeckStore.h"

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/LocaleSort.h"

#include <algorithm>
#include <optional>

namespace {

std::string_view WordOf(std::string_view line)
{
    const size_t separator = line.find(FieldSeparator);
    return separator == std::string_view::npos ? std::string_view{} : line.substr(0, separator);
}

} // namespace

DeckRewrite Rewritten(std::string content, const DeckEdit &edit)
{
    DeckRewrite result;
    result.bytes.reserve(content.size() + (edit.addedLine ? edit.addedLine->size() : 0) + 4);
    TextLineReader reader = TextLineReader::OfBytes(std::move(content));
    while (!reader.AtEnd()) {
        const std::string_view line = reader.ReadLineView();
        if (edit.removedWord && (edit.everyLine || result.removed == 0) && WordOf(line) == *edit.removedWord) {
            ++result.removed;
            continue;
        }
        result.bytes += line;
        result.bytes += "\r\n";
    }
    if (edit.addedLine) {
        result.bytes += *edit.addedLine;
        result.bytes += "\r\n";
    }
    result.bytes += reader.Hidden();
    return result;
}

void DeckStore::Bind(const std::string &path)
{
    WorkFileName = path;
    filledVersion = VersionOf(path);
}

void DeckStore::FinishInterruptedChange(const std::string &path)
{
    // The lock finishes it, once no other window is writing.
    const FileChangeLock deck(path);
}

bool DeckStore::ChangedSinceFilled() const
{
    const FileVersion now = VersionOf(WorkFileName);
    return now != FileVersion{} && now != filledVersion;
}

void DeckStore::ReadColumn(TextLineReader &file, StringList &target, int n)
{
    target.clear();
    // One message for a read, however many lines are short: a damaged Deck of thousands of
    // lines must not ask for thousands of clicks.
    bool shortLineReported = false;
    while (!file.AtEnd()) {
        const std::string_view line = file.ReadLineView();
        size_t start = 0;
        size_t p = line.find(FieldSeparator);
        if (p != std::string::npos) {
            for (int passed = 0; passed < n - 1; ++passed) {
                start = p + 1;
                p = line.find(FieldSeparator, start);
                if (p == std::string::npos) {
                    if (!shortLineReported)
                        ShowErrorMessage("error occured");
                    shortLineReported = true;
                    break;
                }
            }
        }
        target.push_back(p == std::string::npos ? std::string{} : std::string(line.substr(start, p - start)));
    }
}

void DeckStore::ReadColumnOfWorkFile(StringList &target, int n)
{
    TextLineReader file(WorkFileName);
    ReadColumn(file, target, n);
}

void DeckStore::SplitLine(const std::string &line, StringList &target)
{
    target.clear();
    size_t start = 0;
    for (size_t p; (p = line.find(FieldSeparator, start)) != std::string::npos; start = p + 1)
        target.push_back(line.substr(start, p - start));
    if (start < line.size())
        target.push_back(line.substr(start));
}

void DeckStore::CopyWorkFile(const std::string &destination)
{
    // Another window may be changing the Deck that is overwritten.
    std::optional<FileChangeLock> overwritten;
    if (FileCanBeRead(destination))
        overwritten.emplace(destination);
    // Read first: copying a file onto itself must not empty it before it is read.
    ReplaceFileContent(destination, Rewritten(ReadFileBytes(WorkFileName), {}).bytes);
}

void DeckStore::FillWordList(bool ascending, bool noSort, bool byWord)
{
    // Taken before the read: a change that comes during it shows as a change still to list.
    filledVersion = VersionOf(WorkFileName);
    ReadColumnOfWorkFile(WorkList, 1);
    FileWords = WorkList;
    ItemCount = int(FileWords.size());

    if (byWord) {
        if (ascending || !noSort) {
            AnsiSortStrings(WorkList);
            if (!ascending)
                std::reverse(WorkList.begin(), WorkList.end());
        }
        return;
    }
    // By frequency: the first character of the frequency leads the word, so equal frequencies
    // come in word order. An empty frequency sorts as 0; every word keeps all its letters.
    StringList frequencies;
    ReadColumnOfWorkFile(frequencies, 2);
    WorkList.resize(FileWords.size());
    for (size_t i = 0; i < FileWords.size(); ++i) {
        const bool known = i < frequencies.size() && !frequencies[i].empty();
        WorkList[i] = (known ? frequencies[i][0] : '0') + FileWords[i];
    }
    AnsiSortStrings(WorkList);
    if (!ascending)
        std::reverse(WorkList.begin(), WorkList.end());
    for (auto &entry : WorkList)
        entry.erase(0, 1);
}

// Every change holds the Deck's lock from its read to the end of its write, so that another
// window changing the same Deck meanwhile loses nothing and has nothing lost.
FileChangeLock DeckStore::LockForRewrite() const
{
    try {
        return FileChangeLock(WorkFileName);
    } catch (const EInOutError &) {
        throw EFOpenError("Cannot open file " + DisplayPath(WorkFileName));
    }
}

void DeckStore::DeleteWordLine(const std::string &word)
{
    const FileChangeLock deck = LockForRewrite();
    const DeckRewrite rewrite = Rewritten(deck.Content(), {&word, false, nullptr});
    if (rewrite.removed > 0)
        ReplaceFileContent(WorkFileName, rewrite.bytes);
}

int DeckStore::DeleteAllWordLines(const std::string &word)
{
    // One rewrite for them all: the command changes the Deck entirely or not at all.
    const FileChangeLock deck = LockForRewrite();
    const DeckRewrite rewrite = Rewritten(deck.Content(), {&word, true, nullptr});
    if (rewrite.removed > 0)
        ReplaceFileContent(WorkFileName, rewrite.bytes);
    return rewrite.removed;
}

void DeckStore::StoreItem(const DeckItem &item)
{
    const std::string line = MakeDeckLine(item);
    // Reading first also means that a Deck deleted meanwhile is reported, not made anew.
    // Even a new word is one rewrite, never an append: the kernel may stop a write that is
    // killed between two pages, which would leave half a line in the Deck.
    const FileChangeLock deck(WorkFileName);
    ReplaceFileContent(WorkFileName, Rewritten(deck.Content(), {&item.word, false, &line}).bytes);
}

std::string DeckStore::ReadLineAt(int index)
{
    TextLineReader file(WorkFileName);
    for (int i = 0; i < index && !file.AtEnd(); ++i)
        file.SkipLine();
    return file.ReadLine();
}

void DeckStore::CreateEmpty()
{
    CreateEmptyFile(WorkFileName);
    filledVersion = VersionOf(WorkFileName);
    FileWords.clear();
    ItemCount = 0;
}

std::string MakeDeckLine(const DeckItem &item)
{
    std::string line;
    for (const std::string *field : {&item.word, &item.frequency, &item.definition, &item.visual, &item.audio}) {
        line += *field;
        line += FieldSeparator;
    }
    return line;
}

void CheckDeckField(const std::string &caption, const std::string &value)
{
    if (value.find(FieldSeparator) != std::string::npos)
        throw EFieldError("The " + caption + " field contains the character \xB6, which a Deck file uses to end its fields. Please remove it.");
    if (value.find('\r') != std::string::npos || value.find('\n') != std::string::npos)
        throw EFieldError("The " + caption + " field contains a line break. Please remove it.");
}
