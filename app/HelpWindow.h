#pragma once
// The help window: the program's HTML help file in a browser of the program's own, so that
// "Contents" opens the same on every desktop, with or without a web browser. Links inside the
// help move within it; links to web pages go to the desktop's browser.
#include <QWidget>

#include <string>

class QTextBrowser;
class QToolButton;

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget *parent = nullptr);

    // Shows the help file (path in the program's code page) and brings the window forward;
    // keeps the reader's place when the file is already on show. Throws EFOpenError naming
    // the file when it cannot be read.
    void ShowFile(const std::string &path);

    QTextBrowser *Browser;
    QToolButton *BackButton, *ForwardButton, *HomeButton;
};
