#include "platform/DeckText.h"

#include "platform/CodePage.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace {
constexpr char CodePageSeparator = '\xB6';
constexpr std::string_view Utf8Separator = "\xC2\xB6";
constexpr char EndOfFile = '\x1A';
} // namespace

DeckKind DeckKindOf(std::string_view content)
{
    return content.substr(0, Utf8DeckMark.size()) == Utf8DeckMark ? DeckKind::Utf8 : DeckKind::CodePage;
}

std::string_view DeckText::Separator() const
{
    static constexpr char codePage[] = {CodePageSeparator};
    return kind == DeckKind::Utf8 ? Utf8Separator : std::string_view(codePage, 1);
}

QString DeckText::ToText(std::string_view bytes) const
{
    if (kind == DeckKind::Utf8)
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    return FromAnsi(std::string(bytes));
}

bool DeckText::TryToBytes(const QString &text, std::string &bytes, QString *refused) const
{
    auto refuse = [&](qsizetype at, qsizetype length) {
        if (refused)
            *refused = text.mid(at, length);
        return false;
    };
    if (kind == DeckKind::Utf8) {
        // A lone surrogate has no UTF-8 form.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                return refuse(i, 1);
        }
        bytes = text.toUtf8().toStdString();
        return true;
    }
    if (TryToAnsi(text, bytes)) {
        // A letter the code page puts on the separator's byte (Thai) would split the field.
        const size_t separator = bytes.find(CodePageSeparator);
        if (separator == std::string::npos || text[qsizetype(separator)] == QChar(0xB6))
            return true;
        return refuse(qsizetype(separator), 1);
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        std::string ignored;
        if (!TryToAnsi(text.mid(i, length), ignored))
            return refuse(i, length);
        i += length - 1;
    }
    return refuse(0, 0);
}

std::string DeckText::NativePath(const std::string &fieldPath) const
{
    return QFile::encodeName(PathText(fieldPath)).toStdString();
}

std::string DeckAsUtf8(std::string_view content)
{
    // Every byte has one UTF-8 form; the separator's byte stands for a letter in some code
    // pages (Thai), so it is replaced as a byte, not as the character it shows.
    std::array<std::string, 256> utf8;
    for (int byte = 0; byte < 256; ++byte)
        utf8[size_t(byte)] = FromAnsi(std::string(1, char(byte))).toUtf8().toStdString();
    utf8[static_cast<unsigned char>(CodePageSeparator)] = Utf8Separator;
    const size_t end = std::min(content.find(EndOfFile), content.size());
    std::string converted(Utf8DeckMark);
    converted.reserve(content.size() * 2);
    for (size_t i = 0; i < end; ++i)
        converted += utf8[static_cast<unsigned char>(content[i])];
    converted += content.substr(end);
    return converted;
}
