#include "platform/IniFile.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <optional>

namespace {

constexpr size_t MaxValueLength = 2047;

std::string Trim(const std::string &text)
{
    size_t first = 0, last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    return text.substr(first, last - first);
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = x - 'a' + 'A';
        if (y >= 'a' && y <= 'z')
            y = y - 'a' + 'A';
        if (x != y)
            return false;
    }
    return true;
}

// "[Name]" gives Name; a missing closing bracket takes the rest of the line.
std::optional<std::string> SectionName(const std::string &line)
{
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] != '[')
        return std::nullopt;
    const size_t close = trimmed.find(']');
    return Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

bool SplitKeyLine(const std::string &line, std::string &key, std::string &value)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    return !key.empty() && key[0] != ';';
}

StringList LinesOf(const std::string &path)
{
    try {
        return SplitIntoLines(ReadFileBytes(path));
    } catch (const EInOutError &) {
        return {};   // a missing or unreadable file reads as empty
    }
}

} // namespace

std::string TIniFile::ReadString(const std::string &section, const std::string &key, const std::string &def) const
{
    bool inSection = false, sectionSeen = false;
    for (const std::string &line : LinesOf(path)) {
        if (auto name = SectionName(line)) {
            if (sectionSeen && inSection)
                break;               // only the first section of that name counts
            inSection = SameName(*name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        std::string lineKey, value;
        if (inSection && SplitKeyLine(line, lineKey, value) && SameName(lineKey, key)) {
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            if (value.size() > MaxValueLength)
                value.resize(MaxValueLength);
            return value;
        }
    }
    return def;
}

int TIniFile::ReadInteger(const std::string &section, const std::string &key, int def) const
{
    int value = 0;
    return TryStrToInt(ReadString(section, key, ""), value) ? value : def;
}

bool TIniFile::ReadBool(const std::string &section, const std::string &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string &section, const std::string &key, const std::string &value)
{
    // A line break would end the line early and let the rest pose as other keys or sections.
    for (const std::string *text : {&section, &key, &value})
        if (text->find_first_of("\r\n") != std::string::npos)
            throw EIniFileException("Unable to write to " + DisplayPath(path));
    StringList lines = LinesOf(path);
    // Find the first section of that name, and the key inside it.
    size_t sectionLine = lines.size(), insertAt = lines.size();
    bool replaced = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i])) {
            if (sectionLine != lines.size())
                break;
            if (SameName(*name, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine == lines.size())
            continue;
        std::string lineKey, lineValue;
        if (SplitKeyLine(lines[i], lineKey, lineValue) && SameName(lineKey, key)) {
            lines[i] = key + "=" + value;
            replaced = true;
            break;
        }
        if (!Trim(lines[i]).empty())
            insertAt = i + 1;
    }
    if (!replaced) {
        if (sectionLine == lines.size()) {
            lines.push_back("[" + section + "]");
            lines.push_back(key + "=" + value);
        } else {
            lines.insert(lines.begin() + std::ptrdiff_t(insertAt), key + "=" + value);
        }
    }
    try {
        SaveStringList(path, lines);
    } catch (const Exception &) {
        throw EIniFileException("Unable to write to " + DisplayPath(path));
    }
}

void TIniFile::WriteInteger(const std::string &section, const std::string &key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}
