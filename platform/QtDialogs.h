#pragma once
#include "platform/Dialogs.h"

#include <QString>

#include <memory>

class QFileDialog;
class QMessageBox;

// The real dialogs: modal Qt message boxes centred on the screen and Qt file dialogs.
class QtDialogs : public UserDialogs {
public:
    MsgResult messageBox(MsgKind kind, const QString &text, MsgButtons buttons) override;
    void generalError(const std::string &text) override;
    std::optional<std::string> openFileName(const FileDialogOptions &options) override;
    std::optional<std::string> saveFileName(const FileDialogOptions &options) override;
};

// The boxes and dialogs as they are shown, before they run (tests show them without a loop).
// A message box centres itself on the screen when it is shown, at its final size.
std::unique_ptr<QMessageBox> NewMessageBox(const QString &title, bool error, const QString &text,
                                           MsgButtons buttons);
std::unique_ptr<QFileDialog> NewFileDialog(const FileDialogOptions &options, bool save);

// "Desc|*.a|Other|*.b;*.c" to Qt's "Desc (*.a);;Other (*.b *.c)". The file dialogs hide the
// added pattern part, so that each description reads as written.
QString QtFilterFromPairs(const std::string &filter);
