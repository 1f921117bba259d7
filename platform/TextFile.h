#pragma once
// Deck-style text files. Reading: a line ends at CR (an LF right after it belongs to the line
// end; a lone LF stays in the line), the byte 0x1A ends the file, and the last line counts
// without a line end. Writing: every line is followed by CR LF.
#include <string>
#include <vector>

using StringList = std::vector<std::string>;

class TextLineReader {
public:
    explicit TextLineReader(const std::string &path);   // throws EInOutError
    bool AtEnd() const { return position >= end; }
    std::string ReadLine();
    // Skips one line without copying it.
    void SkipLine();

private:
    size_t LineEnd() const;
    std::string content;
    size_t position = 0;
    size_t end = 0;        // first byte not read: 0x1A or the end of the file
};

// Writes lines to a file, either a new (emptied) file or appended at the end of an existing one.
class TextLineWriter {
public:
    enum Mode { Rewrite, Append };
    TextLineWriter(const std::string &path, Mode mode);  // throws EInOutError
    ~TextLineWriter();
    TextLineWriter(const TextLineWriter &) = delete;
    TextLineWriter &operator=(const TextLineWriter &) = delete;
    void WriteLine(const std::string &line);
    void Close();                                        // flushes; throws EInOutError

private:
    void Flush();
    int fd = -1;
    std::string buffer;
};

// The whole content of a file; throws EInOutError.
std::string ReadFileBytes(const std::string &path);

// Creates the file empty, or empties it; throws EInOutError.
void CreateEmptyFile(const std::string &path);

// True when the file can be opened for reading (opened and closed again at once).
bool FileCanBeRead(const std::string &path);

// Replaces a file's content with bytes: written beside it and renamed over it, keeping its
// permissions, so that a crash or a full disk leaves either the old or the new content.
// Throws EFCreateError ("Cannot create file %s") when nothing can be written.
void ReplaceFileContent(const std::string &path, const std::string &bytes);

// Whole-file string lists, split at CR, LF or CR LF; saved with CR LF after every line.
StringList LoadStringList(const std::string &path);                      // "Cannot open file %s"
void SaveStringList(const std::string &path, const StringList &lines);   // "Cannot create file %s"

// Splits text into lines at CR, LF or CR LF (a final line end adds no empty line).
StringList SplitIntoLines(const std::string &text);
