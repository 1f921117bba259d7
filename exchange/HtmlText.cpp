#include "exchange/HtmlText.h"

#include "exchange/FieldText.h"

#include <QHash>

namespace {

// The named entities vocabulary notes use; others are kept as written.
const QHash<QString, QString> &NamedEntities()
{
    static const QHash<QString, QString> entities{
        {"amp", "&"},      {"lt", "<"},        {"gt", ">"},        {"quot", "\""},     {"apos", "'"},
        {"nbsp", " "},     {"ndash", "\u2013"}, {"mdash", "\u2014"}, {"hellip", "\u2026"}, {"laquo", "\u00AB"},
        {"raquo", "\u00BB"}, {"lsquo", "\u2018"}, {"rsquo", "\u2019"}, {"ldquo", "\u201C"}, {"rdquo", "\u201D"},
        {"copy", "\u00A9"}, {"reg", "\u00AE"},  {"deg", "\u00B0"},  {"middot", "\u00B7"}, {"times", "\u00D7"},
        {"shy", ""},       {"zwnj", "\u200C"}, {"zwj", "\u200D"},  {"euro", "\u20AC"}};
    return entities;
}

// The entity at text[at] ('&'): its text, and how many characters it took; 0 when it is none.
qsizetype DecodeEntity(const QString &text, qsizetype at, QString &decoded)
{
    // Looked for only as far as the longest entity reaches, so that a text full of "&" reads in
    // one pass.
    const qsizetype end = QStringView(text).mid(at + 1, 12).indexOf(QLatin1Char(';')) + at + 1;
    if (end == at)
        return 0;
    const QString name = text.mid(at + 1, end - at - 1);
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        const char32_t character = code;
        decoded = QString::fromUcs4(&character, 1);
        return end - at + 1;
    }
    const auto found = NamedEntities().constFind(name);
    if (found == NamedEntities().constEnd())
        return 0;
    decoded = *found;
    return end - at + 1;
}

QString DecodeEntities(const QString &text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString decoded;
        const qsizetype used = text[i] == QLatin1Char('&') ? DecodeEntity(text, i, decoded) : 0;
        if (used == 0) {
            result += text[i];
            continue;
        }
        result += decoded;
        i += used - 1;
    }
    return result;
}

// The value of an attribute inside a tag's text ("img src='a.png' alt=x"), "" when absent.
QString AttributeOf(const QString &tag, const QString &name)
{
    for (qsizetype at = tag.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
         at = tag.indexOf(name, at + 1, Qt::CaseInsensitive)) {
        if (at > 0 && !tag[at - 1].isSpace())
            continue;
        qsizetype i = at + name.size();
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        if (i >= tag.size() || tag[i] != QLatin1Char('='))
            continue;
        ++i;
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        if (i >= tag.size())
            return {};
        const QChar quote = tag[i];
        if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
            const qsizetype end = tag.indexOf(quote, i + 1);
            return DecodeEntities(tag.mid(i + 1, end < 0 ? -1 : end - i - 1));
        }
        qsizetype end = i;
        while (end < tag.size() && !tag[end].isSpace() && tag[end] != QLatin1Char('>'))
            ++end;
        return DecodeEntities(tag.mid(i, end - i));
    }
    return {};
}

QString TagName(const QString &tag)
{
    qsizetype i = tag.startsWith(QLatin1Char('/')) ? 1 : 0;
    const qsizetype start = i;
    while (i < tag.size() && (tag[i].isLetterOrNumber()))
        ++i;
    return tag.mid(start, i - start).toLower();
}

bool BreaksLine(const QString &name)
{
    static const QStringList names{"br", "div", "p", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6", "hr", "ul", "ol", "table"};
    return names.contains(name);
}

} // namespace

HtmlField TextOfHtml(const QString &html)
{
    HtmlField field;
    QString text;
    text.reserve(html.size());
    const qsizetype lastClose = html.lastIndexOf(QLatin1Char('>'));
    const qsizetype lastBracket = html.lastIndexOf(QLatin1Char(']'));
    qsizetype i = 0;
    while (i < html.size()) {
        const QChar c = html[i];
        if (c == QLatin1Char('<')) {
            if (html.mid(i, 4) == QLatin1String("<!--")) {
                const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
                i = end < 0 ? html.size() : end + 3;
                continue;
            }
            const bool opensTag = i + 1 < html.size() && (html[i + 1].isLetter() || html[i + 1] == QLatin1Char('/') ||
                                                          html[i + 1] == QLatin1Char('!'));
            // Past the last ">" nothing is a tag: a text full of "<" reads in one pass.
            const qsizetype end = opensTag && i < lastClose ? html.indexOf(QLatin1Char('>'), i + 1) : -1;
            if (end < 0) {
                // A "<" that opens no tag is text.
                text += c;
                ++i;
                continue;
            }
            const QString tag = html.mid(i + 1, end - i - 1);
            const QString name = TagName(tag);
            i = end + 1;
            if ((name == QLatin1String("script") || name == QLatin1String("style")) && !tag.startsWith(QLatin1Char('/'))) {
                const qsizetype close = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
                i = close < 0 ? html.size() : html.indexOf(QLatin1Char('>'), close) + 1;
                if (i == 0)
                    i = html.size();
                continue;
            }
            if (name == QLatin1String("img") && field.picture.isEmpty())
                field.picture = AttributeOf(tag, QStringLiteral("src"));
            if (BreaksLine(name))
                text += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('[') && i < lastBracket && QStringView(html).mid(i, 7) == QLatin1String("[sound:")) {
            const qsizetype end = html.indexOf(QLatin1Char(']'), i + 7);
            if (end > 0) {
                if (field.sound.isEmpty())
                    field.sound = DecodeEntities(html.mid(i + 7, end - i - 7));
                i = end + 1;
                continue;
            }
        }
        // Line breaks in the source are white space, as a browser shows them.
        text += c == QLatin1Char('\n') || c == QLatin1Char('\r') ? QLatin1Char(' ') : c;
        ++i;
    }
    field.text = TextWithBreaksJoined(DecodeEntities(text));
    return field;
}

QString HtmlOfText(const QString &text)
{
    // The unit separator ends a note's field.
    return text.toHtmlEscaped().remove(QChar(0x1F));
}
