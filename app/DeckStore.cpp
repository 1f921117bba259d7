#include "app/DeckStore.h"

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/LocaleSort.h"

#include <algorithm>

void DeckStore::ReadColumn(TextLineReader &file, StringList &target, int n)
{
    target.clear();
    while (!file.AtEnd()) {
        const std::string line = file.ReadLine();
        size_t start = 0;
        size_t p = line.find(FieldSeparator);
        if (p != std::string::npos) {
            for (int passed = 0; passed < n - 1; ++passed) {
                start = p + 1;
                p = line.find(FieldSeparator, start);
                if (p == std::string::npos) {
                    ShowErrorMessage("error occured");
                    break;
                }
            }
        }
        target.push_back(p == std::string::npos ? std::string{} : line.substr(start, p - start));
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
    // Read first: copying a file onto itself must not empty it before it is read.
    TextLineReader source(WorkFileName);
    std::string bytes;
    while (!source.AtEnd()) {
        bytes += source.ReadLine();
        bytes += "\r\n";
    }
    ReplaceFileContent(destination, bytes);
}

void DeckStore::FillWordList(bool ascending, bool noSort, bool byWord)
{
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
    // By frequency: the one-digit frequency leads the word, so equal frequencies come in word order.
    ReadColumnOfWorkFile(WorkList, 2);
    for (int i = 0; i < ItemCount && i < int(WorkList.size()); ++i)
        WorkList[size_t(i)] = WorkList[size_t(i)].substr(0, 1) + FileWords[size_t(i)];
    AnsiSortStrings(WorkList);
    if (!ascending)
        std::reverse(WorkList.begin(), WorkList.end());
    for (auto &entry : WorkList)
        if (!entry.empty())
            entry.erase(0, 1);
}

void DeckStore::DeleteWordLine(const std::string &word)
{
    for (int i = 0; i < ItemCount; ++i) {
        if (FileWords[size_t(i)] == word) {
            DeleteLine(i);
            return;
        }
    }
}

void DeckStore::DeleteAllWordLines(const std::string &word)
{
    for (;;) {
        StringList words;
        {
            TextLineReader file(WorkFileName);
            while (!file.AtEnd()) {
                const std::string line = file.ReadLine();
                const size_t separator = line.find(FieldSeparator);
                words.push_back(separator == std::string::npos ? std::string{} : line.substr(0, separator));
            }
        }
        const auto found = std::find(words.begin(), words.end(), word);
        if (found == words.end())
            return;
        DeleteLine(int(found - words.begin()));
    }
}

void DeckStore::DeleteLine(int index)
{
    // Lines are counted the way the line reader counts them, so the index names the same line
    // the word list showed; whatever follows an end-of-file mark is kept as it is.
    std::string content;
    try {
        content = ReadFileBytes(WorkFileName);
    } catch (const EInOutError &) {
        throw EFOpenError("Cannot open file " + WorkFileName);
    }
    const size_t eof = content.find('\x1A');
    const size_t end = eof == std::string::npos ? content.size() : eof;
    size_t start = 0;
    for (int line = 0; start < end; ++line) {
        size_t stop = content.find('\r', start);
        if (stop == std::string::npos || stop > end)
            stop = end;
        size_t next = stop;
        if (next < end && content[next] == '\r')
            ++next;
        if (next < end && content[next] == '\n')
            ++next;
        if (line == index) {
            std::string rewritten = content.substr(0, start);
            // A lone LF inside the kept lines stays as it was; every kept line ends in CR LF.
            rewritten += content.substr(next);
            ReplaceFileContent(WorkFileName, rewritten);
            WorkList.clear();
            return;
        }
        start = next;
    }
}

std::string DeckStore::ReadLineAt(int index)
{
    TextLineReader file(WorkFileName);
    for (int i = 0; i < index && !file.AtEnd(); ++i)
        file.SkipLine();
    return file.ReadLine();
}

void DeckStore::AppendItem(const DeckItem &item)
{
    const std::string line = MakeDeckLine(item);
    TextLineWriter file(WorkFileName, TextLineWriter::Append);
    file.WriteLine(line);
    file.Close();
}

void DeckStore::CreateEmpty()
{
    CreateEmptyFile(WorkFileName);
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
