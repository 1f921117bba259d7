#pragma once
// Deck-style text files. Reading: a line ends at CR (an LF right after it belongs to the line
// end; a lone LF stays in the line), the byte 0x1A ends the file, and the last line counts
// without a line end. A UTF-8 byte-order mark at the start is not part of the first line.
// Paths are the file system's own bytes.
#include "platform/FileReplacement.h"

#include <string>
#include <string_view>
#include <vector>

using StringList = std::vector<std::string>;

class TextLineReader {
public:
    explicit TextLineReader(const std::string &path);   // throws EInOutError
    // Reads lines out of bytes already in memory.
    static TextLineReader OfBytes(std::string bytes);
    bool AtEnd() const { return position >= end; }
    std::string ReadLine() { return std::string(ReadLineView()); }
    // The next line, valid as long as the reader lives.
    std::string_view ReadLineView();
    // Skips one line without copying it.
    void SkipLine() { ReadLineView(); }
    // The end-of-file mark and every byte after it ("" when there is no mark).
    std::string_view Hidden() const { return std::string_view(content).substr(end); }
    // The byte-order mark the content begins with ("" when there is none).
    std::string_view Mark() const { return std::string_view(content).substr(0, markSize); }

private:
    TextLineReader() = default;
    void FindEnd();
    std::string content;
    size_t position = 0;
    size_t end = 0;        // first byte not read: 0x1A or the end of the file
    size_t markSize = 0;
};

// Opens a regular file for reading, never waiting for the writer of a pipe: -1 with errno set
// for anything else (EISDIR for a folder, EINVAL for a pipe, device or socket).
int OpenFileForReading(const std::string &path);

// The whole content of a file; throws EInOutError.
std::string ReadFileBytes(const std::string &path);

// Creates the file empty, or empties it; throws EInOutError.
void CreateEmptyFile(const std::string &path);

// True when the regular file can be opened for reading (opened and closed again at once).
bool FileCanBeRead(const std::string &path);
// True when something of that name exists, whether or not it can be read.
bool FileExists(const std::string &path);

// What tells one state of a file from another: which file the path names, its size and the
// times of its last change. Equal versions mean nobody changed the file in between.
struct FileVersion {
    unsigned long long device = 0, inode = 0, size = 0, modified = 0, changed = 0;
    bool operator==(const FileVersion &) const = default;
};
// The version of the file the path names now; all zero when there is none.
FileVersion VersionOf(const std::string &path);

// Adds bytes at the end of an existing file and syncs them to the disk; throws EInOutError. A
// write that fails leaves the file as it was. For append-only logs, never for Decks.
void AppendToFile(const std::string &path, const std::string &bytes);

// Whole-file string lists, split at CR, LF or CR LF; saved with CR LF after every line.
StringList LoadStringList(const std::string &path);                      // "Cannot open file %s"
void SaveStringList(const std::string &path, const StringList &lines);   // "Cannot create file %s"

// Splits text into lines at CR, LF or CR LF (a final line end adds no empty line).
StringList SplitIntoLines(const std::string &text);
