#include "platform/Dialogs.h"

#include "platform/CodePage.h"
#include "platform/QtDialogs.h"

namespace {
std::unique_ptr<UserDialogs> &Installed()
{
    static std::unique_ptr<UserDialogs> dialogs;
    return dialogs;
}
} // namespace

UserDialogs &Dialogs()
{
    auto &dialogs = Installed();
    if (!dialogs)
        dialogs = std::make_unique<QtDialogs>();
    return *dialogs;
}

std::unique_ptr<UserDialogs> SetDialogs(std::unique_ptr<UserDialogs> dialogs)
{
    auto previous = std::move(Installed());
    Installed() = std::move(dialogs);
    return previous;
}

void ShowErrorMessage(const QString &text) { Dialogs().messageBox(MsgKind::Error, text, MsgButtons::OK); }
void ShowErrorMessage(const std::string &text) { ShowErrorMessage(FromAnsi(text)); }
void ShowErrorMessage(const char *text) { ShowErrorMessage(FromAnsi(text)); }

void ShowInformation(const QString &text) { Dialogs().messageBox(MsgKind::Information, text, MsgButtons::OK); }

MsgResult AskConfirmation(const QString &text)
{
    return Dialogs().messageBox(MsgKind::Confirmation, text, MsgButtons::YesNoCancel);
}
MsgResult AskConfirmation(const std::string &text) { return AskConfirmation(FromAnsi(text)); }
MsgResult AskConfirmation(const char *text) { return AskConfirmation(FromAnsi(text)); }

std::string GeneralErrorText(const std::string &message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void ShowGeneralError(const std::string &message) { Dialogs().generalError(GeneralErrorText(message)); }
