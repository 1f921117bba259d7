#pragma once
// Deck-style text files. Reading: a line ends at CR (an LF right after it belongs to the line
// end; a lone LF stays in the line), the byte 0x1A ends the file, and the last line counts
// without a line end. Paths are the file system's own bytes.
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

private:
    TextLineReader() = default;
    void FindEnd();
    std::string content;
    size_t position = 0;
    size_t end = 0;        // first byte not read: 0x1A or the end of the file
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

// Replaces a file's content with bytes, all or nothing: written beside it (without a name until
// complete, where the file system allows), synced and renamed over it, keeping its owner,
// permissions and extended attributes. A file the user may not write is never changed, whatever
// its folder allows: EFCreateError ("Cannot create file %s"). Only a folder that refuses new
// files makes it write in place, and then the file is cut to its new length only after the new
// content is written. Any other failure leaves the file as it was.
void ReplaceFileContent(const std::string &path, const std::string &bytes);

// Adds bytes at the end of an existing file and syncs them to the disk; throws EInOutError. A
// write that fails leaves the file as it was. For append-only logs, never for Decks.
void AppendToFile(const std::string &path, const std::string &bytes);

// Whole-file string lists, split at CR, LF or CR LF; saved with CR LF after every line.
StringList LoadStringList(const std::string &path);                      // "Cannot open file %s"
void SaveStringList(const std::string &path, const StringList &lines);   // "Cannot create file %s"

// Splits text into lines at CR, LF or CR LF (a final line end adds no empty line).
StringList SplitIntoLines(const std::string &text);
