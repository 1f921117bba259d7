#include "exchange/MediaFolder.h"

#include "platform/Exceptions.h"
#include "platform/PosixFile.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int LongestName = 120;   // bytes, leaving room for " (n)" and the folder's name

// The folder named after the Deck: "words.gsd" gives "words.media".
std::string MediaFolderOf(const std::string &deckPath)
{
    const size_t slash = deckPath.rfind('/');
    const size_t dot = deckPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? deckPath.substr(0, dot) : deckPath) + ".media";
}

} // namespace

std::string NumberedName(const std::string &name, int number)
{
    const size_t dot = name.rfind('.');
    const size_t stem = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, stem) + " (" + std::to_string(number) + ")" + name.substr(stem);
}

std::string SafeMediumName(const std::string &name)
{
    QString text = QString::fromUtf8(name);
    text = text.mid(std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\'))) + 1);
    text.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    text.replace(QChar(0xB6), QLatin1Char('_'));
    while (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    text = text.trimmed();
    if (text.isEmpty())
        text = QStringLiteral("medium");
    // Shortened before the extension, on a character's boundary.
    const QString suffix = QFileInfo(text).suffix().left(10);
    QString stem = suffix.isEmpty() ? text : text.left(text.size() - suffix.size() - 1);
    while ((stem.toUtf8().size() + suffix.toUtf8().size() + 1) > LongestName && !stem.isEmpty())
        stem.chop(1);
    if (stem.isEmpty())
        stem = QStringLiteral("medium");
    return (suffix.isEmpty() ? stem : stem + QLatin1Char('.') + suffix).toUtf8().toStdString();
}

MediaFolder::MediaFolder(const std::string &deckPath) : folder(MediaFolderOf(deckPath))
{
    const size_t slash = folder.rfind('/');
    folderName = slash == std::string::npos ? folder : folder.substr(slash + 1);
}

MediaFolder::~MediaFolder()
{
    if (descriptor < 0)
        return;
    if (!kept) {
        for (const std::string &name : written)
            ::unlinkat(descriptor, name.c_str(), 0);
        if (made)
            ::rmdir(folder.c_str());
    }
    ::close(descriptor);
}

void MediaFolder::Open()
{
    if (::mkdir(folder.c_str(), 0777) == 0)
        made = true;
    else if (errno != EEXIST)
        RaiseLastInOutError();
    // Opened without following a link, so that a link put in its place leads nowhere.
    descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            throw Exception(QFile::decodeName(folder.c_str()).toStdString() +
                            " is in the way of the new Deck's media folder; nothing was imported");
        RaiseLastInOutError();
    }
}

std::string MediaFolder::Add(const std::string &name, const std::string &bytes)
{
    if (descriptor < 0)
        Open();
    const std::string safe = SafeMediumName(name);
    for (int number = 1;; ++number) {
        const std::string candidate = number == 1 ? safe : NumberedName(safe, number);
        FileHandle file(::openat(descriptor, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!file) {
            if (errno == EEXIST)
                continue;
            RaiseLastInOutError();
        }
        written.push_back(candidate);
        WriteAll(file.get(), bytes);
        file.Close();
        return folderName + "/" + candidate;
    }
}

void MediaFolder::Sync()
{
    // One sync for all the media.
    if (descriptor >= 0 && (::syncfs(descriptor) != 0 || ::fsync(descriptor) != 0))
        RaiseLastInOutError();
}
