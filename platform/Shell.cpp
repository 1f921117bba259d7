#include "platform/Shell.h"

#include "platform/CodePage.h"

#include <QDesktopServices>
#include <QUrl>

void ShellOpenAddress(const std::string &address) { QDesktopServices::openUrl(QUrl(FromAnsi(address))); }
