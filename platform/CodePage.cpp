#include "platform/CodePage.h"

#include "platform/Exceptions.h"

#include <QFile>
#include <QHash>
#include <QLocale>

#include <array>
#include <iconv.h>
#include <mutex>

namespace {

// Both directions as tables, built once per code page with iconv.
struct CodePageTables {
    int codePage = 0;
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, unsigned char> fromUnicode;
};

CodePageTables BuildTables(int codePage)
{
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == iconv_t(-1))
        throw Exception("Code page " + std::to_string(codePage) + " is not available");
    CodePageTables tables;
    tables.codePage = codePage;
    for (int byte = 0; byte < 256; ++byte) {
        char in = char(byte);
        char16_t out = 0;
        char *inPtr = &in;
        size_t inLeft = 1;
        char *outPtr = reinterpret_cast<char *>(&out);
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) && outLeft == 0;
        // A byte the code page leaves unassigned keeps its own value, so no byte is lost.
        tables.toUnicode[byte] = converted ? out : char16_t(byte);
    }
    iconv_close(cd);
    for (int byte = 255; byte >= 0; --byte)
        tables.fromUnicode.insert(tables.toUnicode[byte], static_cast<unsigned char>(byte));
    return tables;
}

int CodePageForLocale()
{
    switch (QLocale::system().language()) {
    case QLocale::Czech: case QLocale::Polish: case QLocale::Slovak: case QLocale::Hungarian:
    case QLocale::Slovenian: case QLocale::Croatian: case QLocale::Romanian: case QLocale::Albanian:
    case QLocale::Bosnian:
        return 1250;
    case QLocale::Russian: case QLocale::Ukrainian: case QLocale::Belarusian: case QLocale::Bulgarian:
    case QLocale::Serbian: case QLocale::Macedonian: case QLocale::Kazakh: case QLocale::Mongolian:
        return 1251;
    case QLocale::Greek:
        return 1253;
    case QLocale::Turkish: case QLocale::Azerbaijani:
        return 1254;
    case QLocale::Hebrew:
        return 1255;
    case QLocale::Arabic: case QLocale::Persian: case QLocale::Urdu:
        return 1256;
    case QLocale::Estonian: case QLocale::Latvian: case QLocale::Lithuanian:
        return 1257;
    case QLocale::Vietnamese:
        return 1258;
    case QLocale::Thai:
        return 874;
    default:
        return 1252;
    }
}

std::mutex tablesMutex;
const CodePageTables *current = nullptr;

const CodePageTables &Tables()
{
    std::lock_guard lock(tablesMutex);
    if (!current)
        current = new CodePageTables(BuildTables(CodePageForLocale()));
    return *current;
}

} // namespace

int AnsiCodePage() { return Tables().codePage; }

void SetAnsiCodePage(int codePage)
{
    auto *tables = new CodePageTables(BuildTables(codePage));
    std::lock_guard lock(tablesMutex);
    // The old tables stay alive: a reference handed out earlier may still be in use.
    current = tables;
}

QString FromAnsi(const std::string &bytes)
{
    const auto &table = Tables().toUnicode;
    QString text(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *out = text.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    return text;
}

bool TryToAnsi(const QString &text, std::string &bytes)
{
    const auto &map = Tables().fromUnicode;
    bytes.clear();
    bytes.reserve(size_t(text.size()));
    for (QChar c : text) {
        auto it = map.constFind(c.unicode());
        if (it == map.constEnd())
            return false;
        bytes.push_back(char(it.value()));
    }
    return true;
}

std::string ToAnsiLossy(const QString &text)
{
    const auto &map = Tables().fromUnicode;
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    for (QChar c : text) {
        auto it = map.constFind(c.unicode());
        bytes.push_back(it == map.constEnd() ? '?' : char(it.value()));
    }
    return bytes;
}

std::string NativePath(const QString &path) { return QFile::encodeName(path).toStdString(); }

QString PathFromNative(const std::string &path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string DisplayPath(const std::string &path) { return ToAnsiLossy(PathFromNative(path)); }

QString PathFromAnsi(const std::string &fieldPath) { return FromAnsi(fieldPath); }

std::string NativeFromAnsiPath(const std::string &fieldPath) { return NativePath(FromAnsi(fieldPath)); }
