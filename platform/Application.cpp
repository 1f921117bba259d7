#include "platform/Application.h"

#include "platform/Accessibility.h"
#include "platform/Dialogs.h"

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Glossadrome"));
    InstallAccessibility();
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException();
        return false;
    }
}

void HandleCurrentException()
{
    try {
        throw;
    } catch (const std::exception &error) {
        ShowGeneralError(error.what());
    } catch (...) {
        ShowGeneralError("Unknown error");
    }
}
