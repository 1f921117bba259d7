#pragma once
// Message boxes and file dialogs, behind one interface: the program shows real modal Qt
// windows, tests install a scripted implementation that answers from a queue.
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QWidget;

enum class MsgKind { Error, Confirmation, Information };
enum class MsgButtons { OK, YesNoCancel };
enum class MsgResult { OK, Yes, No, Cancel };

struct FileDialogOptions {
    std::string filter;      // "Description|*.ext|Other|*.x;*.y", as the program's tables give it
    std::string defaultExt;  // added to a name typed without extension ("" for none)
    std::string title;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // A box of the error kind ("Error", OK), the confirmation kind ("Confirm", Yes/No/Cancel)
    // or the information kind ("Information", OK).
    virtual MsgResult messageBox(MsgKind kind, const QString &text, MsgButtons buttons) = 0;
    // The general error box: title "Glossadrome", error icon, OK. The text arrives final.
    virtual void generalError(const std::string &text) = 0;
    // File dialogs answer the chosen path as the file system's bytes, or nothing when the user cancels.
    virtual std::optional<std::string> openFileName(const FileDialogOptions &options) = 0;
    virtual std::optional<std::string> saveFileName(const FileDialogOptions &options) = 0;
};

// The dialogs in use; the Qt ones unless a test installed others.
UserDialogs &Dialogs();
// Installs other dialogs (tests); returns the ones replaced.
std::unique_ptr<UserDialogs> SetDialogs(std::unique_ptr<UserDialogs> dialogs);

// Convenience for the two message kinds of the program: error (OK) and confirmation (Yes, No,
// Cancel). A text is code-page bytes, or a QString where it holds text of a UTF-8 Deck.
void ShowErrorMessage(const QString &text);
void ShowErrorMessage(const std::string &text);
void ShowErrorMessage(const char *text);
MsgResult AskConfirmation(const QString &text);
MsgResult AskConfirmation(const std::string &text);
MsgResult AskConfirmation(const char *text);
// A report of what a command did, with an OK button.
void ShowInformation(const QString &text);

// The general error box for an exception's text, with the full stop added when the last
// character sorts after ".".
std::string GeneralErrorText(const std::string &message);
void ShowGeneralError(const std::string &message);
