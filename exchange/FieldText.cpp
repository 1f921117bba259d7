#include "exchange/FieldText.h"

#include <QRegularExpression>

QString TextWithBreaksJoined(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines;
    for (const QString &line : text.split(breaks)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines.join(QStringLiteral("; "));
}

std::string DeckFieldOf(const QString &text)
{
    QString field = TextWithBreaksJoined(text);
    field.removeIf([](QChar c) { return c.unicode() < 0x20 && c != QLatin1Char('\t'); });
    field.replace(QChar(0xB6), QChar(0x204B));
    return field.toUtf8().toStdString();
}
