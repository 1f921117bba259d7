#pragma once
// The about box: the product picture, name, version, where the program comes from, and a link
// to its web page. Shown without blocking the main window; OK hides it.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    static const char *const WebAddress;

    QFrame *Panel1;
    QLabel *ProgramIcon, *ProductName, *Version, *Copyright, *Origin, *Comments, *Label2;
    QPushButton *OKButton;

    void OKButtonClick();
    void Label2Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
