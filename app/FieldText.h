#pragma once
// Filling a field or the definition memo from the program: the text shows from its start, with
// the cursor there and the view at the top, as a reader expects; setting a text would leave
// the view at its end.
class QLineEdit;
class QPlainTextEdit;
class QString;

void ShowFromStart(QLineEdit *field, const QString &text);
void ShowFromStart(QPlainTextEdit *memo, const QString &text);
