#include "exchange/PlainTextReader.h"

#include "exchange/DelimitedText.h"
#include "exchange/FolderMedia.h"
#include "exchange/HtmlText.h"
#include "platform/CodePage.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <map>

namespace {

constexpr unsigned long long TextBudget = 512ull << 20;

enum class Role { Word, Definition, Frequency, Visual, Audio, Tags, Ignored, Unnamed };

Role RoleOfName(const QString &name)
{
    static const std::map<QString, Role> roles{
        {"word", Role::Word},           {"front", Role::Word},        {"term", Role::Word},
        {"question", Role::Word},       {"expression", Role::Word},   {"definition", Role::Definition},
        {"back", Role::Definition},     {"answer", Role::Definition}, {"meaning", Role::Definition},
        {"translation", Role::Definition}, {"frequency", Role::Frequency}, {"visual", Role::Visual},
        {"picture", Role::Visual},      {"image", Role::Visual},      {"audio", Role::Audio},
        {"sound", Role::Audio},         {"tags", Role::Tags}};
    const auto found = roles.find(name.trimmed().toLower());
    return found == roles.end() ? Role::Unnamed : found->second;
}

QChar SeparatorNamed(const QString &value)
{
    static const std::map<QString, QChar> names{{"tab", '\t'},   {"comma", ','}, {"semicolon", ';'},
                                                {"space", ' '},  {"pipe", '|'},  {"colon", ':'}};
    const auto found = names.find(value.trimmed().toLower());
    if (found != names.end())
        return found->second;
    return value.isEmpty() ? QChar() : value[0];
}

// The separator a list without a "#separator:" line uses, judged by its first line.
QChar GuessedSeparator(const QString &text)
{
    const QString first = text.left(text.indexOf(QLatin1Char('\n')));
    if (first.contains(QLatin1Char('\t')))
        return QLatin1Char('\t');
    return first.count(QLatin1Char(';')) > first.count(QLatin1Char(',')) ? QLatin1Char(';') : QLatin1Char(',');
}

struct Headers {
    QChar separator;
    bool html = false;
    QStringList columns;
    std::map<int, Role> numbered;   // 0-based columns named by "#... column:" lines
};

// Takes Anki's header lines off the top of the text.
Headers ReadHeaders(QString &text)
{
    static const QRegularExpression header(QStringLiteral("^#([A-Za-z ]+):(.*)$"));
    Headers headers;
    qsizetype start = 0;
    while (start < text.size() && text[start] == QLatin1Char('#')) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QString line = text.mid(start, end - start);
        start = end + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const auto match = header.match(line);
        if (!match.hasMatch())
            continue;
        const QString key = match.captured(1).trimmed().toLower();
        const QString value = match.captured(2);
        if (key == QLatin1String("separator"))
            headers.separator = SeparatorNamed(value);
        else if (key == QLatin1String("html"))
            headers.html = value.trimmed().toLower() == QLatin1String("true");
        else if (key == QLatin1String("columns"))
            headers.columns << value;   // split once the separator is known
        else if (key.endsWith(QLatin1String(" column")) && value.trimmed().toInt() > 0)
            headers.numbered[value.trimmed().toInt() - 1] = key == QLatin1String("tags column") ? Role::Tags : Role::Ignored;
    }
    text.remove(0, start);
    return headers;
}

bool LooksLikeHeaderRow(const QStringList &row)
{
    int named = 0;
    for (const QString &cell : row) {
        if (cell.trimmed().isEmpty())
            continue;
        if (RoleOfName(cell) == Role::Unnamed)
            return false;
        ++named;
    }
    return named >= 2;
}

std::vector<Role> RolesOf(const QStringList &names, const std::map<int, Role> &numbered, qsizetype count)
{
    std::vector<Role> roles;
    bool word = false, definition = false;
    for (qsizetype i = 0; i < count; ++i) {
        Role role = i < names.size() ? RoleOfName(names[i]) : Role::Unnamed;
        if (const auto found = numbered.find(int(i)); found != numbered.end())
            role = found->second;
        if ((role == Role::Word && word) || (role == Role::Definition && definition))
            role = Role::Unnamed;
        word = word || role == Role::Word;
        definition = definition || role == Role::Definition;
        roles.push_back(role);
    }
    // Unnamed columns fill the word and the definition, in order.
    for (Role &role : roles) {
        if (role != Role::Unnamed)
            continue;
        if (!word)
            role = Role::Word, word = true;
        else if (!definition)
            role = Role::Definition, definition = true;
        else
            role = Role::Ignored;
    }
    return roles;
}

} // namespace

QString TextOfFileBytes(const std::string &bytes)
{
    const QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    if (auto encoding = QStringConverter::encodingForData(data); encoding && *encoding != QStringConverter::Utf8) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(data);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        return FromAnsi(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

ExchangeDeck ReadPlainText(const std::string &path)
{
    QString text = TextOfFileBytes(ReadFileWithin(path, TextBudget));
    Headers headers = ReadHeaders(text);
    if (headers.separator.isNull())
        headers.separator = GuessedSeparator(text);
    std::vector<QStringList> rows = ParseDelimited(text, headers.separator);
    QStringList names = headers.columns.isEmpty() ? QStringList() : headers.columns.front().split(headers.separator);
    if (names.isEmpty() && !rows.empty() && LooksLikeHeaderRow(rows.front())) {
        names = rows.front();
        rows.erase(rows.begin());
    }
    qsizetype widest = names.size();
    for (const QStringList &row : rows)
        widest = std::max(widest, row.size());
    const std::vector<Role> roles = RolesOf(names, headers.numbered, widest);

    ExchangeDeck deck;
    for (const QStringList &row : rows) {
        ExchangeItem item;
        for (qsizetype i = 0; i < row.size(); ++i) {
            QString value = row[i];
            if (headers.html) {
                const HtmlField field = TextOfHtml(value);
                if (item.visual.empty())
                    item.visual = field.picture.toStdString();
                if (item.audio.empty())
                    item.audio = field.sound.toStdString();
                value = field.text;
            }
            switch (roles[size_t(i)]) {
            case Role::Word: item.word = value; break;
            case Role::Definition: item.definition = value; break;
            case Role::Frequency: item.frequency = std::clamp(value.trimmed().toInt(), 0, 5); break;
            case Role::Visual: if (!value.trimmed().isEmpty()) item.visual = value.trimmed().toStdString(); break;
            case Role::Audio: if (!value.trimmed().isEmpty()) item.audio = value.trimmed().toStdString(); break;
            case Role::Tags:
                for (const QString &tag : value.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    if (const auto frequency = FrequencyOfTag(tag))
                        item.frequency = *frequency;
                break;
            default: break;
            }
        }
        deck.items.push_back(std::move(item));
    }
    deck.media = std::make_unique<FolderMedia>(path);
    return deck;
}
