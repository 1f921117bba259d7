#pragma once
// Settings files in the Windows INI form: "[Section]" lines and "Key=Value" lines. Section and
// key names compare without regard to letter case; the first of duplicate sections or keys
// counts. Values are bytes, read with at most 2047 characters. Every write updates the file at
// once and creates it when it does not exist.
#include <string>

class TIniFile {
public:
    explicit TIniFile(std::string fileName) : path(std::move(fileName)) {}
    const std::string &FileName() const { return path; }

    std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
    // Decimal, or hexadecimal after 0x, 0X or $; anything else reads as the default.
    int ReadInteger(const std::string &section, const std::string &key, int def) const;
    // An integer that is true when not 0.
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;

    // Throw EIniFileException "Unable to write to %s" when the file cannot be written, and
    // for a section, key or value holding CR or LF, which is never written.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    void WriteInteger(const std::string &section, const std::string &key, int value);
    void WriteBool(const std::string &section, const std::string &key, bool value);

private:
    std::string path;
};
