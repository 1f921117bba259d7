#pragma once
#include "platform/Dialogs.h"

#include <QString>

// The real dialogs: modal Qt message boxes centred on the screen and Qt file dialogs.
class QtDialogs : public UserDialogs {
public:
    MsgResult messageBox(MsgKind kind, const std::string &text, MsgButtons buttons) override;
    void generalError(const std::string &text) override;
    std::optional<std::string> openFileName(const FileDialogOptions &options) override;
    std::optional<std::string> saveFileName(const FileDialogOptions &options) override;
};

// "Desc|*.a|Other|*.b;*.c" to Qt's "Desc (*.a);;Other (*.b *.c)".
QString QtFilterFromPairs(const std::string &filter);
