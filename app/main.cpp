// Glossadrome: flash cards for learning vocabulary.
#include "app/PictureFormats.h"
#include "app/MainWindow.h"
#include "platform/Application.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    RegisterPictureFormats();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    try {
        TF_Main window(arguments);
        window.show();
        return app.exec();
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
}
