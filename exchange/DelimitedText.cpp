#include "exchange/DelimitedText.h"

std::vector<QStringList> ParseDelimited(const QString &text, QChar separator)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, fieldStarted = false;
    const QChar quote = QLatin1Char('"');
    auto endField = [&] {
        row << field;
        field.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row.front().isEmpty()))
            rows.push_back(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != quote)
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == quote)
                field += text[++i];
            else
                quoted = false;
        } else if (c == quote && !fieldStarted) {
            quoted = fieldStarted = true;
        } else if (c == separator) {
            endField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endRow();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    endRow();
    return rows;
}

QString DelimitedRow(const QStringList &fields, QChar separator)
{
    QStringList written;
    for (const QString &field : fields) {
        // A row whose first field began with "#" would read as a header line.
        const bool needsQuotes = field.startsWith(QLatin1Char('#')) || field.contains(separator) || field.contains(QLatin1Char('"')) ||
                                 field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'));
        if (!needsQuotes) {
            written << field;
            continue;
        }
        QString quoted = field;
        quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
        written << QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return written.join(separator) + QStringLiteral("\r\n");
}
