#pragma once
// Rows of fields separated by one character, as spreadsheets and Anki write them: a field that
// holds the separator, a quote or a line break is put in double quotes, its quotes doubled.
#include <QString>
#include <QStringList>

#include <vector>

// The rows of a text; a row ends at a line break outside quotes.
std::vector<QStringList> ParseDelimited(const QString &text, QChar separator);
// One row with its line end (CR LF).
QString DelimitedRow(const QStringList &fields, QChar separator);
