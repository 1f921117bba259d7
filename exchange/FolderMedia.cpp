#include "exchange/FolderMedia.h"

#include "platform/Exceptions.h"
#include "platform/PosixFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sys/stat.h>

std::string ReadFileWithin(const std::string &path, unsigned long long limit)
{
    FileHandle file(OpenFileForReading(path));
    if (!file)
        RaiseLastInOutError();
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        RaiseLastInOutError();
    if ((unsigned long long)info.st_size > limit)
        throw Exception(QFile::decodeName(path.c_str()).toStdString() + " is larger than " +
                        std::to_string(limit >> 20) + " MB; it was not read");
    return ReadAll(file.get());
}

FolderMedia::FolderMedia(const std::string &sourcePath)
    : folder(QFileInfo(QFile::decodeName(sourcePath.c_str())).absolutePath())
{
}

std::string FolderMedia::PathOf(const std::string &reference) const
{
    const QString text = QString::fromUtf8(reference).trimmed();
    if (text.isEmpty())
        return {};
    QString path = text;
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(text);
        if (!url.isLocalFile())
            return {};
        path = url.toLocalFile();
    } else if (text.contains(QLatin1String("://"))) {
        return {};   // a medium on the web is not fetched
    }
    return QFile::encodeName(QDir(folder).absoluteFilePath(path)).toStdString();
}

std::optional<std::string> FolderMedia::Read(const std::string &reference)
{
    const std::string path = PathOf(reference);
    if (path.empty() || !FileCanBeRead(path))
        return std::nullopt;
    return ReadFileWithin(path, MediumBudget);
}
