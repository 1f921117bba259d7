#include "exchange/KvtmlReader.h"

#include "exchange/FolderMedia.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <map>

namespace {

constexpr unsigned long long KvtmlBudget = 512ull << 20;

struct Translation {
    QString text, comment;
    std::string image, sound;
};

// The encoding the XML declaration names, "UTF-8" when it names none.
QString DeclaredEncoding(const QByteArray &bytes)
{
    static const QRegularExpression declaration(QStringLiteral("^\\s*<\\?xml[^>]*encoding\\s*=\\s*[\"']([^\"']+)[\"']"));
    const auto match = declaration.match(QString::fromLatin1(bytes.left(200)));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("UTF-8");
}

// True when the bytes are not valid in the encoding the file declares.
bool BadlyEncoded(const QByteArray &bytes)
{
    auto decoder = QStringDecoder(DeclaredEncoding(bytes).toLatin1().constData());
    if (!decoder.isValid())
        return false;   // an encoding Qt does not know: the XML reader says so
    const QString text = decoder.decode(bytes);
    return decoder.hasError();
}

// The text as Windows-1252 (the code page real files turn out to be in), as UTF-8 XML.
QByteArray AsWindows1252(const QByteArray &bytes)
{
    static const QRegularExpression encoding(QStringLiteral("(<\\?xml[^>]*encoding\\s*=\\s*[\"'])[^\"']+([\"'])"));
    auto decoder = QStringDecoder("windows-1252");
    QString text = decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
    text.replace(encoding, QStringLiteral("\\1UTF-8\\2"));
    return text.toUtf8();
}

class KvtmlParser {
public:
    explicit KvtmlParser(const QByteArray &bytes) : xml(bytes) {}

    void Parse(ExchangeDeck &deck)
    {
        if (!xml.readNextStartElement() || xml.name() != QLatin1String("kvtml"))
            Fail(xml.hasError() ? NotWellFormed() : QStringLiteral("The file is not a KVTML file"));
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("identifiers"))
                ReadIdentifiers();
            else if (xml.name() == QLatin1String("entries"))
                ReadEntries(deck);
            else if (xml.name() == QLatin1String("e"))
                deck.items.push_back(ReadVersion1Entry());
            else
                xml.skipCurrentElement();
        }
        if (xml.hasError())
            Fail(NotWellFormed());
    }

private:
    QString NotWellFormed() const
    {
        return QStringLiteral("The KVTML file is not well-formed: %1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber());
    }
    [[noreturn]] static void Fail(const QString &why) { throw Exception((why + "; nothing was imported").toStdString()); }

    void ReadIdentifiers()
    {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("identifier"))
                identifiers.push_back(xml.attributes().value(QLatin1String("id")).toString());
            xml.skipCurrentElement();
        }
    }

    void ReadEntries(ExchangeDeck &deck)
    {
        // The first two identifiers, in the order the file declares them.
        const QString first = identifiers.size() > 0 ? identifiers[0] : QStringLiteral("0");
        const QString second = identifiers.size() > 1 ? identifiers[1] : QStringLiteral("1");
        while (xml.readNextStartElement()) {
            if (xml.name() != QLatin1String("entry")) {
                xml.skipCurrentElement();
                continue;
            }
            std::map<QString, Translation> translations;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("translation")) {
                    const QString id = xml.attributes().value(QLatin1String("id")).toString();
                    translations[id] = ReadTranslation();
                } else
                    xml.skipCurrentElement();
            }
            const Translation &word = translations[first];
            const Translation &definition = translations[second];
            ExchangeItem item;
            item.word = word.text;
            item.definition = definition.text;
            for (const QString &comment : {definition.comment, word.comment})
                if (item.definition.trimmed().isEmpty())
                    item.definition = comment;
            item.visual = word.image.empty() ? definition.image : word.image;
            item.audio = word.sound.empty() ? definition.sound : word.sound;
            deck.items.push_back(std::move(item));
        }
    }

    Translation ReadTranslation()
    {
        Translation translation;
        while (xml.readNextStartElement()) {
            const auto name = xml.name();
            if (name == QLatin1String("text"))
                translation.text = ReadText();
            else if (name == QLatin1String("comment"))
                translation.comment = ReadText();
            else if (name == QLatin1String("image"))
                translation.image = ReadText().trimmed().toStdString();
            else if (name == QLatin1String("sound"))
                translation.sound = ReadText().trimmed().toStdString();
            else
                xml.skipCurrentElement();
        }
        return translation;
    }

    ExchangeItem ReadVersion1Entry()
    {
        ExchangeItem item;
        bool translated = false;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("o")) {
                item.word = ReadText();
            } else if (xml.name() == QLatin1String("t") && !translated) {
                item.definition = ReadText();
                translated = true;
            } else {
                xml.skipCurrentElement();
            }
        }
        return item;
    }

    QString ReadText() { return xml.readElementText(QXmlStreamReader::IncludeChildElements); }

    QXmlStreamReader xml;
    QStringList identifiers;
};

} // namespace

ExchangeDeck ReadKvtml(const std::string &path)
{
    QByteArray bytes = QByteArray::fromStdString(ReadFileWithin(path, KvtmlBudget));
    ExchangeDeck deck;
    if (BadlyEncoded(bytes)) {
        deck.remarks.push_back(QStringLiteral("The file is not valid %1, as it declares; it was read as Windows-1252.")
                                   .arg(DeclaredEncoding(bytes)));
        bytes = AsWindows1252(bytes);
    }
    KvtmlParser(bytes).Parse(deck);
    deck.media = std::make_unique<FolderMedia>(path);
    return deck;
}
