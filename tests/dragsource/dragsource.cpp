// A small drag source for the Xvfb check of the drop target: a window that starts a
// drag of the files named on the command line, as a file manager does (a URL list and the
// names as text), when the mouse is pressed in it. Prints "ready" once shown and "result N"
// with the drop action the target chose (0 when refused), then quits.
//
//     dragsource [--at X,Y] [--actions copy,move,link] FILE...
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Source : public QWidget {
public:
    Source(QStringList files, Qt::DropActions actions) : files(std::move(files)), actions(actions)
    {
        setWindowTitle("dragsource");
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        QStringList names;
        for (const QString &file : files) {
            urls.append(QUrl::fromLocalFile(file));
            names.append(file);
        }
        data->setUrls(urls);
        data->setText(names.join('\n'));
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction result = drag->exec(actions, Qt::CopyAction);
        std::printf("result %d\n", int(result));
        std::fflush(stdout);
        // Stay a while: the target reads the data only after the drop.
        QTimer::singleShot(1500, qApp, &QApplication::quit);
    }

private:
    QStringList files;
    Qt::DropActions actions;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QPoint at(0, 0);
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size()) {
            const QStringList xy = args[++i].split(',');
            at = QPoint(xy.value(0).toInt(), xy.value(1).toInt());
        } else if (args[i] == "--actions" && i + 1 < args.size()) {
            actions = {};
            for (const QString &a : args[++i].split(',')) {
                if (a == "copy") actions |= Qt::CopyAction;
                if (a == "move") actions |= Qt::MoveAction;
                if (a == "link") actions |= Qt::LinkAction;
            }
        } else {
            files.append(args[i]);
        }
    }
    Source source(files, actions);
    source.setGeometry(at.x(), at.y(), 120, 80);
    source.show();
    QTimer::singleShot(300, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}
