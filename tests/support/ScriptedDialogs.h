#pragma once
// Dialogs for tests: answers come from queues, every box shown is recorded.
#include "platform/Dialogs.h"

#include <deque>
#include <string>
#include <vector>

struct ShownBox {
    enum Kind { Error, Confirmation, GeneralError, Information } kind;
    std::string text;    // in the code page, '?' for what it cannot hold
    QString unicode;     // the text as shown
};

class ScriptedDialogs : public UserDialogs {
public:
    MsgResult messageBox(MsgKind kind, const QString &text, MsgButtons buttons) override;
    void generalError(const std::string &text) override;
    std::optional<std::string> openFileName(const FileDialogOptions &options) override;
    std::optional<std::string> saveFileName(const FileDialogOptions &options) override;

    // Answers for confirmation boxes; an unscripted confirmation fails the test and answers Cancel.
    std::deque<MsgResult> answers;
    // Answers for file dialogs: a path, or nullopt for Cancel.
    std::deque<std::optional<std::string>> files;

    std::vector<ShownBox> shown;
    std::vector<FileDialogOptions> fileDialogs;

    std::vector<std::string> texts() const;   // every text shown, in order
    void clear() { shown.clear(); fileDialogs.clear(); }
};

// The scripted dialogs installed by the test main.
ScriptedDialogs &Scripted();
