// Glossadrome: flash cards for learning vocabulary.
#include "app/PictureFormats.h"
#include "app/MainWindow.h"
#include "platform/Application.h"

#include <algorithm>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    RegisterPictureFormats();
    // The arguments keep the file system's own bytes; the application object took its own out.
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    try {
        TF_Main window(arguments);
        window.show();
        return app.exec();
    } catch (...) {
        HandleCurrentException();
        return 1;
    }
}
