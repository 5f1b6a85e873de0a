#include "TfrmAbout.h"

#include "Artwork.h"
#include "HyperlinkLabel.h"
#include "Look.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QUrlQuery>

namespace bm::gui {

using namespace Qt::StringLiterals;

const char *const TfrmAbout::kSupportMail = "support@corvelle.example";
const char *const TfrmAbout::kWebAddress = "https://www.corvelle.example/";

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"About"_s);
    setFixedSize(422, 435);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFont(msSansSerif(10));

    auto *picture = new QLabel(this);
    picture->setPixmap(artwork::aboutPicture());
    picture->setGeometry(7, 7, 407, 200);

    auto *support = new QLabel(u"Product Support:"_s, this);
    support->setFont(msSansSerif(10, true));
    support->setGeometry(16, 214, 390, 20);

    auto *address = new QLabel(u"Corvelle Automation Systems.\n"
                               "Unit 7, Harrowgate Business Park\n"
                               "Tenby Moor, Wexcombe WX4 7RT\n"
                               "Telephone: +44 (0)1632 960214"_s,
                               this);
    address->setGeometry(16, 236, 390, 72);
    address->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *mailCaption = new QLabel(u"Click here to e-mail the Corvelle support team"_s, this);
    mailCaption->setGeometry(16, 312, 390, 20);
    QUrl mail(u"mailto:"_s + QLatin1String(kSupportMail));
    QUrlQuery query;
    query.addQueryItem(u"subject"_s, u"Corvelle"_s);
    mail.setQuery(query);
    lblMail = new HyperlinkLabel(QLatin1String(kSupportMail), mail, this);
    lblMail->setObjectName(u"lblMail"_s);
    lblMail->adjustSize();
    lblMail->move((width() - lblMail->width()) / 2, 332);

    auto *webCaption = new QLabel(u"Click here for FREE program upgrades & information"_s, this);
    webCaption->setGeometry(16, 358, 390, 20);
    lblWeb = new HyperlinkLabel(u"www.corvelle.example"_s, QUrl(QLatin1String(kWebAddress)), this);
    lblWeb->setObjectName(u"lblWeb"_s);
    lblWeb->adjustSize();
    lblWeb->move((width() - lblWeb->width()) / 2, 378);

    auto *update = new QLabel(u"Version %1    Program Update : 04/08/2021"_s.arg(
                                      QCoreApplication::applicationVersion()),
                              this);
    update->setObjectName(u"lblVersion"_s);
    update->setFont(tahoma(8));
    update->setGeometry(12, 404, 300, 20);

    btnClose = new QPushButton(QIcon(artwork::closeGlyph()), u" &Close"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    btnClose->setFont(tahoma(8));
    btnClose->setFlat(true);
    btnClose->setGeometry(322, 400, 88, 26);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // A raised panel edge inside a 2-pixel line.
    QPainter p(this);
    const QRect r = rect();
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 2));
    p.drawRect(r.adjusted(1, 1, -1, -1));
    p.setPen(Qt::white);
    p.drawLine(3, 3, r.right() - 3, 3);
    p.drawLine(3, 3, 3, r.bottom() - 3);
    p.setPen(QColor(0xA0, 0xA0, 0xA0));
    p.drawLine(3, r.bottom() - 3, r.right() - 3, r.bottom() - 3);
    p.drawLine(r.right() - 3, 3, r.right() - 3, r.bottom() - 3);
}

} // namespace bm::gui
