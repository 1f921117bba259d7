#include "exchange/PlainTextWriter.h"

#include "exchange/DelimitedText.h"

#include <QFile>

std::string DelimitedTextOf(const ExchangeDeck &deck, QChar separator)
{
    const QStringList columns{"Word", "Definition", "Frequency", "Visual", "Audio"};
    QString text = QStringLiteral("#separator:%1\r\n#html:false\r\n#columns:%2\r\n")
                       .arg(separator == QLatin1Char('\t') ? QStringLiteral("tab") : QStringLiteral("comma"),
                            columns.join(separator));
    for (const ExchangeItem &item : deck.items)
        text += DelimitedRow({item.word, item.definition, QString::number(item.frequency),
                              QFile::decodeName(item.visual.c_str()), QFile::decodeName(item.audio.c_str())},
                             separator);
    return text.toUtf8().toStdString();
}
