#pragma once
// The Deck store: the operations through which the program reads and changes the working
// file. There is no Deck in memory; every operation reads the file again.
#include "platform/DeckLine.h"
#include "platform/DeckText.h"
#include "platform/FileChangeLock.h"
#include "platform/TextFile.h"

#include <functional>
#include <string>

// The byte that ends every field of a line in a code-page Deck.
constexpr char FieldSeparator = '\xB6';

class DeckStore {
public:
    // Binds the working file (the path as the program holds it).
    void Bind(const std::string &path);
    // Finishes a change of a Deck that was cut short (a kill during a write in place), so
    // that the Deck opens whole.
    static void FinishInterruptedChange(const std::string &path);
    // True when the working file changed on disk since the word list was filled: another
    // window or program changed it. False while there is no file to compare.
    bool ChangedSinceFilled() const;

    // One entry per line of the open reader: field n (1 to 5) of the line. A line too short
    // for the field gives an empty entry and one "error occured" box.
    void ReadColumn(TextLineReader &file, StringList &target, int n);
    static void SplitLine(std::string_view line, StringList &target, std::string_view separator);
    // Copies the working file line by line to another path.
    void CopyWorkFile(const std::string &destination);
    // Re-reads the words and leaves them in WorkList in the order the three sort flags ask for;
    // FileWords and ItemCount describe the file afterwards.
    void FillWordList(bool ascending, bool noSort, bool byWord);
    // Deletes the first line whose word is exactly this word. The file itself is searched, not
    // the word list, so a list that no longer matches the file never deletes the wrong line.
    void DeleteWordLine(const std::string &word);
    // Deletes every line whose word is exactly this word, in one rewrite; the number deleted.
    int DeleteAllWordLines(const std::string &word);
    // Add/Update: the line of the same word goes and the Item's line comes last, in one step
    // that changes the file entirely or not at all. Throws EFieldError for a field that would
    // break the line; a working file gone from disk is "File not found", and none is made.
    // An Item for a UTF-8 Deck makes a code-page Deck a UTF-8 Deck in the same step; a UTF-8
    // Deck stays one.
    void StoreItem(const DeckItem &item);

    // The line at a 0-based index of the file ("" past the end).
    std::string ReadLineAt(int index);
    // The fields of the line at a 0-based index, split as its Deck's kind says.
    void ReadItemAt(int index, StringList &target);
    // Empties the working file and forgets its words.
    void CreateEmpty();

    std::string WorkFileName;
    // How the working file's bytes read as text, as of the last read or change.
    DeckText Text;
    StringList WorkList;
    StringList FileWords;
    int ItemCount = 0;

private:
    void ReadColumnOfWorkFile(StringList &target, int n);
    FileChangeLock LockForRewrite() const;
    FileVersion filledVersion;
};

// A change of a Deck's lines, made by writing the whole file again.
struct DeckEdit {
    const std::string *removedWord = nullptr;   // lines whose word is exactly this go
    bool everyLine = false;                      // all of them, or only the first
    const std::string *addedLine = nullptr;      // comes after the last line
};
struct DeckRewrite {
    std::string bytes;
    int removed = 0;
};
// The Deck's bytes with the edit made. Lines are counted as the reader counts them, every line
// written gets CR LF, and an end-of-file mark stays with whatever follows it, byte for byte,
// after the new line.
// `change`, when given, says what each line kept becomes.
using LineChange = std::function<std::string(std::string_view line)>;
DeckRewrite Rewritten(std::string content, const DeckEdit &edit, const LineChange &change = {});

// Refuses a field that cannot be stored in a line of that kind of Deck; names the field in
// the message.
void CheckDeckField(const std::string &caption, const std::string &value, DeckKind kind = DeckKind::CodePage);
