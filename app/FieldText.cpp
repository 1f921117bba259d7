#include "app/FieldText.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

void ShowFromStart(QLineEdit *field, const QString &text)
{
    field->setText(text);
    field->setCursorPosition(0);
}

void ShowFromStart(QPlainTextEdit *memo, const QString &text)
{
    memo->setPlainText(text);
    memo->moveCursor(QTextCursor::Start);
    memo->verticalScrollBar()->setValue(0);
    memo->horizontalScrollBar()->setValue(0);
}
