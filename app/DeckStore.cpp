#include "app/DeckStore.h"

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/LocaleSort.h"

#include <algorithm>
#include <optional>

namespace {

std::string_view WordOf(std::string_view line, std::string_view separator)
{
    const size_t end = line.find(separator);
    return end == std::string_view::npos ? std::string_view{} : line.substr(0, end);
}

DeckText TextOf(const TextLineReader &reader) { return DeckText(DeckKindOf(reader.Mark())); }

// A code-page field as the same text in UTF-8.
std::string AsUtf8(const std::string &field) { return DeckAsUtf8(field).substr(Utf8DeckMark.size()); }

} // namespace

DeckRewrite Rewritten(std::string content, const DeckEdit &edit, const LineChange &change)
{
    DeckRewrite result;
    result.bytes.reserve(content.size() + (edit.addedLine ? edit.addedLine->size() : 0) + 4);
    TextLineReader reader = TextLineReader::OfBytes(std::move(content));
    const std::string_view separator = TextOf(reader).Separator();
    result.bytes += reader.Mark();
    while (!reader.AtEnd()) {
        const std::string_view line = reader.ReadLineView();
        if (edit.removedWord && (edit.everyLine || result.removed == 0) &&
            WordOf(line, separator) == *edit.removedWord) {
            ++result.removed;
            continue;
        }
        if (change)
            result.bytes += change(line);
        else
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
    Text = TextOf(file);
    const std::string_view separator = Text.Separator();
    // One message for a read, however many lines are short: a damaged Deck of thousands of
    // lines must not ask for thousands of clicks.
    bool shortLineReported = false;
    while (!file.AtEnd()) {
        const std::string_view line = file.ReadLineView();
        size_t start = 0;
        size_t p = line.find(separator);
        if (p != std::string::npos) {
            for (int passed = 0; passed < n - 1; ++passed) {
                start = p + separator.size();
                p = line.find(separator, start);
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

void DeckStore::SplitLine(std::string_view line, StringList &target, std::string_view separator)
{
    SplitDeckLine(line, target, separator);
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
            SortDeckStrings(WorkList, Text);
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
    SortDeckStrings(WorkList, Text);
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
    // Reading first also means that a Deck deleted meanwhile is reported, not made anew.
    const FileChangeLock deck(WorkFileName);
    std::string content = deck.Content();
    // The Deck and the Item meet in UTF-8 when either is: a UTF-8 Deck never goes back. A
    // code-page field never holds the separator's byte, so its text converts as it is.
    DeckItem stored = item;
    if (DeckKindOf(content) == DeckKind::Utf8 && item.kind == DeckKind::CodePage) {
        for (std::string *field : {&stored.word, &stored.frequency, &stored.definition, &stored.visual, &stored.audio})
            *field = AsUtf8(*field);
        stored.kind = DeckKind::Utf8;
    } else if (DeckKindOf(content) == DeckKind::CodePage && item.kind == DeckKind::Utf8) {
        content = DeckAsUtf8(content);
    }
    const std::string line = MakeDeckLine(stored);
    // Even a new word is one rewrite, never an append: the kernel may stop a write that is
    // killed between two pages, which would leave half a line in the Deck.
    ReplaceFileContent(WorkFileName, Rewritten(std::move(content), {&stored.word, false, &line}).bytes);
    Text = DeckText(stored.kind);
}

std::string DeckStore::ReadLineAt(int index)
{
    TextLineReader file(WorkFileName);
    Text = TextOf(file);
    for (int i = 0; i < index && !file.AtEnd(); ++i)
        file.SkipLine();
    return file.ReadLine();
}

void DeckStore::ReadItemAt(int index, StringList &target)
{
    const std::string line = ReadLineAt(index);
    SplitLine(line, target, Text.Separator());
}

void DeckStore::CreateEmpty()
{
    CreateEmptyFile(WorkFileName);
    Text = DeckText(DeckKind::CodePage);
    filledVersion = VersionOf(WorkFileName);
    FileWords.clear();
    ItemCount = 0;
}

void CheckDeckField(const std::string &caption, const std::string &value, DeckKind kind)
{
    if (value.find(DeckText(kind).Separator()) != std::string::npos)
        throw EFieldError("The " + caption + " field contains the character \xB6, which a Deck file uses to end its fields. Please remove it.");
    if (value.find('\r') != std::string::npos || value.find('\n') != std::string::npos)
        throw EFieldError("The " + caption + " field contains a line break. Please remove it.");
    // Everything after this character is hidden from every reader of the Deck.
    if (value.find('\x1A') != std::string::npos)
        throw EFieldError("The " + caption + " field contains the character that ends a Deck file (Ctrl+Z). Please remove it.");
}
