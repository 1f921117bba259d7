// The GIF codec's registration among the picture classes.
#include "gif/GIFImage.h"

#include "platform/MainThreadCalls.h"

#include <QGuiApplication>
#include <QScreen>

void RegisterGIFCodec()
{
    // A palette display: at most 8 bits per pixel on the primary screen.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) && QGuiApplication::primaryScreen())
        GIFPaletteDisplay = QGuiApplication::primaryScreen()->depth() <= 8;
    RegisterFileFormat("gif", "GIF Image", [] { return std::unique_ptr<TGraphic>(new TGIFImage); });
    // Painters hand their steps to the main thread through this queue: it exists from now on.
    TMainThreadCalls::Instance();
}

void UnregisterGIFCodec()
{
    FreeExtensionRegistries();
    UnregisterFileFormat("gif");
}
