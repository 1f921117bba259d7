#include "platform/Graphic.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <QFile>

#include <map>

void TGraphic::Assign(const TGraphic &source)
{
    throw Exception(std::string("Cannot assign a ") + source.metaObject()->className() + " to a " +
                    metaObject()->className());
}

void TGraphic::SetTransparent(bool value)
{
    if (value != transparent) {
        transparent = value;
        Changed();
    }
}

void TGraphic::Changed()
{
    modified = true;
    emit changed(this);
}

void TGraphic::Progress(TProgressStage stage, int percent, bool redraw, const QRect &rect, const std::string &message)
{
    emit progress(this, stage, percent, redraw, rect, FromAnsi(message));
}

void TGraphic::LoadFromFile(const std::string &fileName)
{
    QFile file(PathFromAnsi(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError("Cannot open file " + fileName);
    LoadFromStream(file);
}

void TGraphic::SaveToFile(const std::string &fileName)
{
    QFile file(PathFromAnsi(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EFCreateError("Cannot create file " + fileName);
    SaveToStream(file);
}

namespace {
struct FileFormat {
    std::string description;
    GraphicFactory factory;
};

std::string LowerExtension(std::string extension)
{
    for (char &c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return extension;
}

std::map<std::string, FileFormat> &Formats()
{
    static std::map<std::string, FileFormat> formats;
    return formats;
}
} // namespace

void RegisterFileFormat(const std::string &extension, const std::string &description, GraphicFactory factory)
{
    Formats()[LowerExtension(extension)] = {description, std::move(factory)};
}

void UnregisterFileFormat(const std::string &extension) { Formats().erase(LowerExtension(extension)); }

GraphicFactory GraphicFactoryForFile(const std::string &fileName)
{
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    auto it = Formats().find(LowerExtension(fileName.substr(dot + 1)));
    return it == Formats().end() ? GraphicFactory{} : it->second.factory;
}

std::string FileFormatDescription(const std::string &extension)
{
    auto it = Formats().find(LowerExtension(extension));
    return it == Formats().end() ? std::string{} : it->second.description;
}
