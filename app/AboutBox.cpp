#include "app/AboutBox.h"

#include "app/MainWindow.h"
#include "platform/ProgramIcons.h"
#include "platform/Shell.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

const char *const TAboutBox::WebAddress = "https://glossadrome.example.org/";

namespace {

QLabel *NamedLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

// The product picture: the program's cards on a ground shading like the Study page's.
QPixmap ProductPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient ground(0, 0, 0, size.height());
    ground.setColorAt(0, QColor(128, 128, 0));
    ground.setColorAt(1, QColor(0, 128, 0));
    p.fillRect(image.rect(), ground);
    const int side = size.height() - 20;
    p.drawImage(QRect(12, 10, side, side), ProgramIcon(side));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(26);
    p.setFont(font);
    p.setPen(QColor(255, 255, 0));
    p.drawText(QRect(side + 16, 0, size.width() - side - 20, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Glossa\ndrome"));
    return QPixmap::fromImage(image);
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Glossadrome"));
    setFixedSize(324, 334);
    setModal(false);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 308, 280);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(2);

    ProgramIcon = NamedLabel(Panel1, "ProgramIcon", QString(), QRect(9, 8, 289, 153));
    ProgramIcon->setPixmap(ProductPicture(QSize(289, 153)));
    ProgramIcon->setAccessibleName(QStringLiteral("Glossadrome"));
    ProductName = NamedLabel(Panel1, "ProductName", QStringLiteral("Glossadrome"), QRect(16, 164, 160, 16));
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    Version = NamedLabel(Panel1, "Version", QStringLiteral("1.0"), QRect(240, 164, 56, 16));
    Version->setAlignment(Qt::AlignRight);
    Copyright = NamedLabel(Panel1, "Copyright", QStringLiteral("Flash cards for learning vocabulary,"),
                           QRect(16, 182, 280, 16));
    Origin = NamedLabel(Panel1, "Origin", QStringLiteral("made by the Glossadrome developers."), QRect(16, 198, 280, 16));
    Comments = NamedLabel(Panel1, "Comments",
                          QStringLiteral("Build a Deck of words, definitions, pictures and sounds, then let the "
                                         "program ask you. News and help are on the web page:"),
                          QRect(16, 214, 272, 52));
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2 = NamedLabel(Panel1, "Label2", QString::fromLatin1(WebAddress), QRect(16, 262, 280, 16));
    QFont link = Label2->font();
    link.setUnderline(true);
    Label2->setFont(link);
    QPalette palette = Label2->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    Label2->setPalette(palette);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->setAccessibleDescription(QStringLiteral("Link"));
    Label2->installEventFilter(this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(125, 298, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, Handler(this, &TAboutBox::OKButtonClick));

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label2 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        Label2Click();
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::OKButtonClick() { hide(); }

void TAboutBox::Label2Click() { ShellOpenAddress(WebAddress); }
