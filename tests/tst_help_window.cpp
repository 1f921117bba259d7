// "Contents": the help file in the program's own help window.
#include "app/HelpWindow.h"
#include "support/MainWindowFixture.h"

#include <QDesktopServices>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

namespace {

// Stands in for the desktop's browser: records the addresses handed to it.
class DesktopBrowser : public QObject {
    Q_OBJECT
public:
    DesktopBrowser() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~DesktopBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// Moves the keyboard to the next link of the help, as Tab does, and answers its address.
QString NextLink(QTextBrowser *browser)
{
    QTest::keyClick(browser, Qt::Key_Tab);
    return browser->textCursor().charFormat().anchorHref();
}

class HelpWindowTest : public MainWindowTest {
protected:
    THelpWindow *OpenHelp()
    {
        window->Contents1->trigger();
        return window->HelpWindow;
    }
    void InstallHelp() const
    {
        WriteWholeFile(ProgramFile("glossad.hlp"), ReadWholeFile(std::string(GLOSSAD_SOURCE_DIR) + "/app/glossad.hlp"));
    }
};

} // namespace

TEST_F(HelpWindowTest, ContentsShowsTheHelpFileWithWorkingLinks)
{
    InstallHelp();
    Start();
    THelpWindow *help = OpenHelp();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(Scripted().shown.empty());
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Glossadrome Help");
    QTextBrowser *browser = help->Browser;
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(QString::fromStdString(ProgramFile("glossad.hlp"))));
    EXPECT_TRUE(browser->toPlainText().contains("The Study page"));
    EXPECT_EQ(browser->verticalScrollBar()->value(), 0);

    // A link inside the help moves to its section, and Back returns.
    browser->setFocus();
    EXPECT_EQ(NextLink(browser), "#edit");
    EXPECT_EQ(NextLink(browser), "#study");
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(browser->source().fragment(), "study");
    EXPECT_GT(browser->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(help->BackButton->isEnabled());
    help->BackButton->click();
    EXPECT_FALSE(browser->source().hasFragment());

    // A link to the web goes to the desktop's browser; the help stays where it was.
    DesktopBrowser desktop;
    QString link;
    for (int i = 0; i < 20 && !link.startsWith("https:"); ++i)
        link = NextLink(browser);
    ASSERT_EQ(link, "https://glossadrome.example.org/");
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(desktop.opened, QList<QUrl>{QUrl(link)});
    EXPECT_FALSE(browser->source().hasFragment());

    // Asking again brings the same window forward, where the reader left it.
    const int place = browser->verticalScrollBar()->value();
    EXPECT_EQ(OpenHelp(), help);
    EXPECT_EQ(browser->verticalScrollBar()->value(), place);
    // Escape puts it away.
    QApplication::setActiveWindow(help);
    QTest::keyClick(browser, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(HelpWindowTest, MissingOrUnreadableHelpFileIsNamedInTheErrorBox)
{
    Start();
    EXPECT_FALSE(OpenHelp()->isVisible());
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(Scripted().shown[0].text, "Cannot open file " + ProgramFile("glossad.hlp") + ".");

    // A folder in the help file's place cannot be read either.
    Scripted().clear();
    QDir().mkdir(QString::fromStdString(ProgramFile("glossad.hlp")));
    OpenHelp();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Cannot open file " + ProgramFile("glossad.hlp") + "."});
}

#include "tst_help_window.moc"
