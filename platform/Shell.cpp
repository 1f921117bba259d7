#include "platform/Shell.h"

#include "platform/CodePage.h"

#include <QDesktopServices>
#include <QUrl>

void ShellOpenFile(const std::string &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(PathFromNative(path))); }

void ShellOpenAddress(const std::string &address) { QDesktopServices::openUrl(QUrl(FromAnsi(address))); }
