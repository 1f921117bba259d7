#include "support/ScriptedDialogs.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

MsgResult ScriptedDialogs::messageBox(MsgKind kind, const QString &unicode, MsgButtons buttons)
{
    const std::string text = ToAnsiLossy(unicode);
    const ShownBox::Kind shownKind = kind == MsgKind::Error          ? ShownBox::Error
                                     : kind == MsgKind::Information ? ShownBox::Information
                                                                    : ShownBox::Confirmation;
    shown.push_back({shownKind, text, unicode});
    if (buttons == MsgButtons::OK)
        return MsgResult::OK;
    if (answers.empty()) {
        ADD_FAILURE() << "unscripted confirmation: " << text;
        return MsgResult::Cancel;
    }
    MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedDialogs::generalError(const std::string &text)
{
    shown.push_back({ShownBox::GeneralError, text, FromAnsi(text)});
}

std::optional<std::string> ScriptedDialogs::openFileName(const FileDialogOptions &options)
{
    fileDialogs.push_back(options);
    if (files.empty()) {
        ADD_FAILURE() << "unscripted open dialog";
        return std::nullopt;
    }
    auto answer = files.front();
    files.pop_front();
    return answer;
}

std::optional<std::string> ScriptedDialogs::saveFileName(const FileDialogOptions &options)
{
    return openFileName(options);
}

std::vector<std::string> ScriptedDialogs::texts() const
{
    std::vector<std::string> result;
    for (const auto &box : shown)
        result.push_back(box.text);
    return result;
}
