#include "app/HelpWindow.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QToolButton *NavigationButton(QWidget *parent, QLayout *layout, const QString &caption)
{
    auto *button = new QToolButton(parent);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(button);
    return button;
}
} // namespace

THelpWindow::THelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Glossadrome Help"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *navigation = new QHBoxLayout;
    layout->addLayout(navigation);
    BackButton = NavigationButton(this, navigation, QStringLiteral("&Back"));
    ForwardButton = NavigationButton(this, navigation, QStringLiteral("&Forward"));
    HomeButton = NavigationButton(this, navigation, QStringLiteral("&Contents"));
    navigation->addStretch(1);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("HelpBrowser"));
    Browser->setOpenLinks(true);
    Browser->setOpenExternalLinks(true);
    layout->addWidget(Browser, 1);

    BackButton->setEnabled(false);
    ForwardButton->setEnabled(false);
    connect(BackButton, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardButton, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(HomeButton, &QToolButton::clicked, Browser, &QTextBrowser::home);
    connect(Browser, &QTextBrowser::backwardAvailable, BackButton, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardButton, &QToolButton::setEnabled);
    // Escape puts the help away, as it does a dialog.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Glossadrome Help") : title);
        Browser->setAccessibleName(windowTitle());
    });

    // A comfortable page to read, on a small or scaled screen no larger than the screen allows.
    QSize wanted(640, 520);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        wanted = wanted.boundedTo(available.size() * 9 / 10);
        QRect frame(QPoint(0, 0), wanted);
        frame.moveCenter(available.center());
        setGeometry(frame);
    } else {
        resize(wanted);
    }
}

void THelpWindow::ShowFile(const std::string &path)
{
    const QString name = PathFromAnsi(path);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError("Cannot open file " + path);
    file.close();
    const QUrl url = QUrl::fromLocalFile(name);
    if (Browser->source().adjusted(QUrl::RemoveFragment) != url) {
        Browser->clearHistory();
        Browser->setSource(url, QTextDocument::HtmlResource);
    }
    show();
    raise();
    activateWindow();
}
