#pragma once
#include <QApplication>

// The application object: title "Glossadrome", and the place where an exception that leaves
// an event handler is caught and shown in the general error box.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Shows the general error box for the exception being handled (call from a catch block).
void HandleCurrentException();
