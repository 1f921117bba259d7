// The other end of the Xvfb check: a window with two one-line fields like the Edit page's,
// `T_Audio` with a TDropFileTarget (Dragtypes = [dtCopy], OnDrop puts the first name into the
// field) and `T_word` that accepts no drops at all, and a long list `ListBox1` with a drop
// target of its own (for auto-scrolling). Prints every event of the component and,
// when it quits (after the number of milliseconds given, default 20000), the fields' texts.
//
//     droptarget_probe [--at X,Y] [--ms N] [--stdin] [--verbose]
#include "dragdrop/DropTarget.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <QDropEvent>
#include <QMimeData>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>

namespace {
// With --verbose: every drag event any object receives, before it is delivered.
class EventLog : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const int t = event->type();
        if (t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::DragLeave || t == QEvent::Drop) {
            std::printf("  event %d to %s (%s)", t, watched->metaObject()->className(),
                        qPrintable(watched->objectName()));
            if (t != QEvent::DragLeave) {
                auto *e = static_cast<QDropEvent *>(event);
                std::printf(" at %g,%g actions %d formats %s", e->position().x(), e->position().y(),
                            int(e->possibleActions().toInt()),
                            qPrintable(e->mimeData() ? e->mimeData()->formats().join(',') : "-"));
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        return false;
    }
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QPoint at(300, 300);
    int ms = 20000;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size()) {
            const QStringList xy = args[++i].split(',');
            at = QPoint(xy.value(0).toInt(), xy.value(1).toInt());
        } else if (args[i] == "--verbose") {
            app.installEventFilter(new EventLog);
        } else if (args[i] == "--ms" && i + 1 < args.size()) {
            ms = args[++i].toInt();
        }
    }
    QWidget window;
    window.setWindowTitle("droptarget_probe");
    window.setGeometry(at.x(), at.y(), 400, 320);
    auto *audio = new QLineEdit(&window);
    audio->setObjectName("T_Audio");
    audio->setGeometry(10, 10, 380, 30);
    auto *word = new QLineEdit(&window);
    word->setObjectName("T_word");
    word->setGeometry(10, 70, 380, 30);
    word->setAcceptDrops(false);

    // A long list with a drop target of its own, for auto-scrolling.
    auto *list = new QListWidget(&window);
    list->setObjectName("ListBox1");
    QFont font = list->font();
    font.setPixelSize(12);
    list->setFont(font);
    for (int i = 0; i < 200; ++i)
        list->addItem(QString("item %1").arg(i));
    list->setGeometry(10, 120, 380, 190);
    auto *listTarget = new TDropFileTarget(&window);
    listTarget->Dragtypes = {dtCopy};
    listTarget->OnDrop = [&](QObject *, TShiftState, QPoint p, TDropEffect &e) {
        std::printf("list drop point=%d,%d effect=%u scroll=%d files %s\n", p.x(), p.y(), unsigned(e),
                    list->verticalScrollBar()->value(), qPrintable(listTarget->DroppedFiles.join('|')));
        std::fflush(stdout);
    };
    listTarget->RegisterTarget(list);

    auto *target = new TDropFileTarget(&window);
    target->SetName("DropFileTarget2");
    target->Dragtypes = {dtCopy};
    auto report = [](const char *what, TShiftState s, QPoint p, TDropEffect e) {
        std::printf("%s shift=%d point=%d,%d effect=%u\n", what, int(s.toInt()), p.x(), p.y(), unsigned(e));
        std::fflush(stdout);
    };
    target->OnEnter = [&](QObject *, TShiftState s, QPoint p, TDropEffect &e) { report("enter", s, p, e); };
    target->OnDragOver = [&](QObject *, TShiftState s, QPoint p, TDropEffect &e) { report("over", s, p, e); };
    target->OnLeave = [](QObject *) {
        std::printf("leave\n");
        std::fflush(stdout);
    };
    target->OnDrop = [&](QObject *, TShiftState s, QPoint p, TDropEffect &e) {
        report("drop", s, p, e);
        std::printf("files %s\n", qPrintable(target->DroppedFiles.join('|')));
        audio->setText(target->DroppedFiles.at(0));
        std::printf("T_Audio=%s\n", qPrintable(audio->text()));
        std::fflush(stdout);
    };
    target->RegisterTarget(audio);

    window.show();
    QTimer::singleShot(300, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    auto finish = [&] {
        std::printf("T_Audio=%s\nT_word=%s\n", qPrintable(audio->text()), qPrintable(word->text()));
        std::fflush(stdout);
        target->UnregisterTarget();
        listTarget->UnregisterTarget();
        app.quit();
    };
    QTimer::singleShot(ms, finish);
    // With --stdin: a line "quit" on standard input, or its end, also ends the program.
    if (args.contains("--stdin")) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, [&, input] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0 || QByteArray(buffer, int(n)).contains("quit")) {
                input->setEnabled(false);
                finish();
            }
        });
    }
    return app.exec();
}
