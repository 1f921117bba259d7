#include "platform/QtDialogs.h"

#include "platform/CodePage.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace {

void CentreOnScreen(QWidget &box)
{
    box.adjustSize();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
}

MsgResult RunBox(const QString &title, QMessageBox::Icon icon, const QString &text, MsgButtons buttons)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton *ok = nullptr, *yes = nullptr, *no = nullptr, *cancel = nullptr;
    if (buttons == MsgButtons::OK) {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    } else {
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);
    }
    CentreOnScreen(box);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (buttons == MsgButtons::OK)
        return MsgResult::OK;
    if (clicked == yes)
        return MsgResult::Yes;
    if (clicked == no)
        return MsgResult::No;
    return MsgResult::Cancel;
}

std::optional<std::string> RunFileDialog(const FileDialogOptions &options, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(QApplication::activeWindow(), FromAnsi(options.title));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The program asks its own overwrite question after a Save dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QtFilterFromPairs(options.filter));
    if (!options.defaultExt.empty())
        dialog.setDefaultSuffix(FromAnsi(options.defaultExt));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return NativePath(dialog.selectedFiles().constFirst());
}

} // namespace

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

MsgResult QtDialogs::messageBox(MsgKind kind, const std::string &text, MsgButtons buttons)
{
    const bool error = kind == MsgKind::Error;
    return RunBox(error ? QStringLiteral("Error") : QStringLiteral("Confirm"),
                  error ? QMessageBox::Critical : QMessageBox::Question, FromAnsi(text), buttons);
}

void QtDialogs::generalError(const std::string &text)
{
    RunBox(QApplication::applicationName(), QMessageBox::Critical, FromAnsi(text), MsgButtons::OK);
}

std::optional<std::string> QtDialogs::openFileName(const FileDialogOptions &options)
{
    return RunFileDialog(options, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtDialogs::saveFileName(const FileDialogOptions &options)
{
    return RunFileDialog(options, QFileDialog::AcceptSave);
}
