#pragma once
// How a Deck's bytes stand for the user's text. A code-page Deck holds single bytes of the
// 8-bit ANSI code page and ends its fields with the byte B6. A UTF-8 Deck begins with the
// UTF-8 byte-order mark, holds UTF-8 and ends its fields with "¶" as UTF-8 (C2 B6). Everything
// that turns a Deck field into text for the user, or text back into a field, goes through here.
#include <QString>

#include <string>
#include <string_view>

enum class DeckKind { CodePage, Utf8 };

// The byte-order mark that makes a Deck a UTF-8 Deck.
inline constexpr std::string_view Utf8DeckMark = "\xEF\xBB\xBF";

// The kind of a Deck from its first bytes.
DeckKind DeckKindOf(std::string_view content);

class DeckText {
public:
    explicit DeckText(DeckKind kind = DeckKind::CodePage) : kind(kind) {}
    DeckKind Kind() const { return kind; }
    bool operator==(const DeckText &other) const = default;

    // What ends every field of a line.
    std::string_view Separator() const;

    // A field as the user reads it. Bytes that are not UTF-8 in a UTF-8 Deck read as U+FFFD.
    QString ToText(std::string_view bytes) const;
    // A field for the Deck. False when the Deck cannot hold a character of the text; the first
    // such character is then in refused (a code-page Deck also cannot hold a letter that the
    // code page puts on the separator's byte).
    bool TryToBytes(const QString &text, std::string &bytes, QString *refused = nullptr) const;

    // A visual or audio path of a field, for Qt, and as the file system's bytes to open it.
    QString PathText(const std::string &fieldPath) const { return ToText(fieldPath); }
    std::string NativePath(const std::string &fieldPath) const;

private:
    DeckKind kind;
};

// A code-page Deck's bytes as a UTF-8 Deck with the same text: the mark, each field converted,
// the separators replaced. Line ends and an end-of-file mark with what follows it stay as they
// are.
std::string DeckAsUtf8(std::string_view content);
