#include "exchange/KvtmlWriter.h"

#include <QFile>
#include <QXmlStreamWriter>

namespace {
// Text without the control characters XML cannot hold.
QString XmlText(QString text)
{
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n'); });
    return text;
}
} // namespace

std::string KvtmlOf(const ExchangeDeck &deck, const QString &title)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE kvtml PUBLIC \"kvtml2.dtd\" \"http://edu.kde.org/kvtml/kvtml2.dtd\">"));
    xml.writeStartElement(QStringLiteral("kvtml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("information"));
    xml.writeTextElement(QStringLiteral("generator"), QStringLiteral("Glossadrome"));
    xml.writeTextElement(QStringLiteral("title"), XmlText(title));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("identifiers"));
    for (const auto &[id, name] : {std::pair{"0", "Word"}, std::pair{"1", "Definition"}}) {
        xml.writeStartElement(QStringLiteral("identifier"));
        xml.writeAttribute(QStringLiteral("id"), QString::fromLatin1(id));
        xml.writeTextElement(QStringLiteral("name"), QString::fromLatin1(name));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("entries"));
    for (size_t i = 0; i < deck.items.size(); ++i) {
        const ExchangeItem &item = deck.items[i];
        xml.writeStartElement(QStringLiteral("entry"));
        xml.writeAttribute(QStringLiteral("id"), QString::number(i));
        xml.writeStartElement(QStringLiteral("translation"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("text"), XmlText(item.word));
        if (!item.visual.empty())
            xml.writeTextElement(QStringLiteral("image"), QFile::decodeName(item.visual.c_str()));
        if (!item.audio.empty())
            xml.writeTextElement(QStringLiteral("sound"), QFile::decodeName(item.audio.c_str()));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("translation"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("1"));
        xml.writeTextElement(QStringLiteral("text"), XmlText(item.definition));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("lessons"));
    xml.writeStartElement(QStringLiteral("container"));
    xml.writeTextElement(QStringLiteral("name"), title);
    xml.writeTextElement(QStringLiteral("inpractice"), QStringLiteral("true"));
    for (size_t i = 0; i < deck.items.size(); ++i) {
        xml.writeEmptyElement(QStringLiteral("entry"));
        xml.writeAttribute(QStringLiteral("id"), QString::number(i));
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes.toStdString();
}
