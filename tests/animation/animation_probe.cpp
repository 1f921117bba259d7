// The program's own main window on a real display, for the animation check. It opens the Deck
// given on the command line and, as a user would, selects "bird" on the Edit page; on "study"
// (a line on standard input) it asks a Visual question about "bird" on the Study page. Each
// time it prints where the picture lies on the screen: "preview X Y W H" or "image1 X Y W H".
// "quit" closes the window and ends the program the way glossad ends.
//
//     animation_probe DECK
#include "app/MainWindow.h"
#include "app/PictureFormats.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {
void PrintPlace(const char *name, TImage *control)
{
    const QRect shown = control->DestRect().intersected(control->rect());
    const QPoint at = control->mapToGlobal(shown.topLeft());
    std::printf("%s %d %d %d %d\n", name, at.x(), at.y(), shown.width(), shown.height());
    std::fflush(stdout);
}

void SelectBird(TF_Main &window)
{
    const QList<QListWidgetItem *> found = window.ListBox1->findItems(QStringLiteral("bird"), Qt::MatchExactly);
    if (found.isEmpty()) {
        std::printf("no bird\n");
        return;
    }
    window.ListBox1->scrollToItem(found.first());
    QTest::mouseClick(window.ListBox1->viewport(), Qt::LeftButton, {},
                      window.ListBox1->visualItemRect(found.first()).center());
    PrintPlace("preview", window.PreviewV);
}

void AskAboutBird(TF_Main &window)
{
    window.Cb_Questions->setCurrentIndex(2);   // Visual
    QTest::mouseClick(window.SB_Order, Qt::LeftButton);
    window.PageControl1->setCurrentWidget(window.Tb_Study);
    for (int i = 0; i < 60; ++i) {
        QTest::mouseClick(window.B_Go, Qt::LeftButton);
        if (window.AnswerPending && !window.Questions.CurrentItem.empty() && window.Questions.CurrentItem[0] == "bird") {
            PrintPlace("image1", window.Image1);
            return;
        }
    }
    std::printf("no bird question\n");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    RegisterPictureFormats();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    TF_Main window(arguments);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    SelectBird(window);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        const ssize_t n = read(STDIN_FILENO, line, sizeof line - 1);
        const std::string command = n > 0 ? std::string(line, size_t(n)) : "quit";
        if (command.rfind("study", 0) == 0) {
            AskAboutBird(window);
        } else {
            input.setEnabled(false);
            window.close();
        }
    });
    return app.exec();
}
