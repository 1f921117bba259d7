#include "platform/QtDialogs.h"

#include "platform/CodePage.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace {

// A message box lays itself out only when it is shown; centring it any earlier would place a
// box wider than the default off centre.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
};

MsgResult RunBox(const QString &title, bool error, const QString &text, MsgButtons buttons,
                 QMessageBox::Icon icon = QMessageBox::NoIcon)
{
    const auto box = NewMessageBox(title, error, text, buttons);
    if (icon != QMessageBox::NoIcon)
        box->setIcon(icon);
    box->exec();
    if (buttons == MsgButtons::OK)
        return MsgResult::OK;
    switch (box->buttonRole(box->clickedButton())) {
    case QMessageBox::YesRole:
        return MsgResult::Yes;
    case QMessageBox::NoRole:
        return MsgResult::No;
    default:
        return MsgResult::Cancel;
    }
}

std::optional<std::string> RunFileDialog(const FileDialogOptions &options, bool save)
{
    const auto dialog = NewFileDialog(options, save);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return NativePath(dialog->selectedFiles().constFirst());
}

} // namespace

std::unique_ptr<QMessageBox> NewMessageBox(const QString &title, bool error, const QString &text,
                                           MsgButtons buttons)
{
    auto box = std::make_unique<CentredMessageBox>(error ? QMessageBox::Critical : QMessageBox::Question, title,
                                                   text, QMessageBox::NoButton, QApplication::activeWindow());
    if (buttons == MsgButtons::OK) {
        QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    } else {
        QPushButton *yes = box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        box->addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(yes);
        box->setEscapeButton(cancel);
    }
    return box;
}

std::unique_ptr<QFileDialog> NewFileDialog(const FileDialogOptions &options, bool save)
{
    auto dialog = std::make_unique<QFileDialog>(QApplication::activeWindow(), FromAnsi(options.title));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks its own overwrite question after a Save dialog.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // The descriptions carry their patterns already ("GIF Images (*.gif)", "Wave [*.wav]").
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilter(QtFilterFromPairs(options.filter));
    if (!options.defaultExt.empty())
        dialog->setDefaultSuffix(FromAnsi(options.defaultExt));
    return dialog;
}

QString QtFilterFromPairs(const std::string &filter)
{
    const QStringList parts = FromAnsi(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

MsgResult QtDialogs::messageBox(MsgKind kind, const QString &text, MsgButtons buttons)
{
    if (kind == MsgKind::Information)
        return RunBox(QStringLiteral("Information"), false, text, buttons, QMessageBox::Information);
    const bool error = kind == MsgKind::Error;
    return RunBox(error ? QStringLiteral("Error") : QStringLiteral("Confirm"), error, text, buttons);
}

void QtDialogs::generalError(const std::string &text)
{
    RunBox(QApplication::applicationName(), true, FromAnsi(text), MsgButtons::OK);
}

std::optional<std::string> QtDialogs::openFileName(const FileDialogOptions &options)
{
    return RunFileDialog(options, false);
}

std::optional<std::string> QtDialogs::saveFileName(const FileDialogOptions &options)
{
    return RunFileDialog(options, true);
}
