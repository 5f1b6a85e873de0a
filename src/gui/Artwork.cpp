#include "Artwork.h"

#include "Look.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace bm::gui::artwork {

using namespace Qt::StringLiterals;

namespace {

const QColor kDeepGreen{0x1F, 0x5E, 0x2E};
const QColor kGreen{0x3C, 0x8D, 0x40};
const QColor kLightGreen{0x8B, 0xC3, 0x4A};
const QColor kBarnRed{0xB0, 0x3A, 0x2E};

QPixmap canvas(int width, int height, qreal ratio = 0)
{
    if (ratio <= 0)
        ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(int(width * ratio), int(height * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A milk drop standing on its round end, filling `box`.
QPainterPath drop(const QRectF &box)
{
    QPainterPath path;
    const qreal cx = box.center().x();
    path.moveTo(cx, box.top());
    path.cubicTo(cx + box.width() * 0.15, box.top() + box.height() * 0.3, box.right(),
                 box.top() + box.height() * 0.5, box.right(), box.top() + box.height() * 0.68);
    path.arcTo(QRectF(box.left(), box.bottom() - box.width(), box.width(), box.width()), 0, -180);
    path.cubicTo(box.left(), box.top() + box.height() * 0.5, cx - box.width() * 0.15,
                 box.top() + box.height() * 0.3, cx, box.top());
    path.closeSubpath();
    return path;
}

// Rolling hills across `box`, the crest at `crest` (0 top, 1 bottom) rising toward `peak`.
QPainterPath hill(const QRectF &box, qreal crest, qreal peak)
{
    QPainterPath path;
    const qreal y = box.top() + box.height() * crest;
    path.moveTo(box.left(), y);
    path.cubicTo(box.left() + box.width() * peak * 0.6, y - box.height() * 0.25,
                 box.left() + box.width() * peak * 1.3, y - box.height() * 0.25, box.right(),
                 y + box.height() * 0.05);
    path.lineTo(box.bottomRight());
    path.lineTo(box.bottomLeft());
    path.closeSubpath();
    return path;
}

void paintLogo(QPainter &p, const QRectF &box)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = box.adjusted(2, 2, -2, -2);
    QRadialGradient fill(ring.center() - QPointF(ring.width() * 0.2, ring.height() * 0.2),
                         ring.width() * 0.75);
    fill.setColorAt(0, kLightGreen);
    fill.setColorAt(1, kDeepGreen);
    p.setPen(QPen(kDeepGreen, box.width() / 32));
    p.setBrush(fill);
    p.drawEllipse(ring);
    // A band of meadow across the lower part of the badge.
    QPainterPath clip;
    clip.addEllipse(ring);
    p.save();
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0xE6, 70));
    p.drawPath(hill(ring, 0.78, 0.45));
    p.restore();
    // The milk drop.
    const QRectF dropBox(box.center().x() - box.width() * 0.19, box.top() + box.height() * 0.16,
                         box.width() * 0.38, box.height() * 0.56);
    p.setPen(QPen(QColor(0xD8, 0xE8, 0xD0), box.width() / 48));
    p.setBrush(Qt::white);
    p.drawPath(drop(dropBox));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0xFF, 160));
    p.drawEllipse(QRectF(dropBox.left() + dropBox.width() * 0.22,
                         dropBox.top() + dropBox.height() * 0.55, dropBox.width() * 0.16,
                         dropBox.height() * 0.2));
}

} // namespace

QPixmap logo()
{
    QPixmap pixmap = canvas(64, 64);
    QPainter p(&pixmap);
    paintLogo(p, QRectF(0, 0, 64, 64));
    return pixmap;
}

QPixmap banner()
{
    QPixmap pixmap = canvas(131, 61);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, 131, 61);
    p.setPen(Qt::NoPen);
    p.setBrush(kLightGreen);
    p.drawPath(hill(box, 0.82, 0.3));
    p.setBrush(kGreen);
    p.drawPath(hill(box, 0.92, 0.75));
    p.setPen(kDeepGreen);
    QFont wordmark = tahoma(15, true);
    wordmark.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(wordmark);
    p.drawText(QRectF(0, 2, 131, 26), Qt::AlignCenter, u"CORVELLE"_s);
    p.setPen(QColor(0x55, 0x55, 0x55));
    QFont line = tahoma(6);
    line.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(line);
    p.drawText(QRectF(0, 27, 131, 12), Qt::AlignCenter, u"AUTOMATION SYSTEMS"_s);
    return pixmap;
}

QPixmap aboutPicture()
{
    QPixmap pixmap = canvas(407, 200);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, 407, 200);
    QLinearGradient sky(box.topLeft(), box.bottomLeft());
    sky.setColorAt(0, QColor(0x9C, 0xCC, 0xF0));
    sky.setColorAt(0.7, QColor(0xF4, 0xFA, 0xFF));
    p.fillRect(box, sky);
    // Sun, hills, a barn and a fence.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xE0, 0x82));
    p.drawEllipse(QPointF(345, 48), 24, 24);
    p.setBrush(kLightGreen);
    p.drawPath(hill(box, 0.68, 0.65));
    p.setBrush(kGreen);
    p.drawPath(hill(box, 0.8, 0.25));
    const QRectF barn(300, 112, 56, 40);
    p.setBrush(kBarnRed);
    p.drawRect(barn);
    QPainterPath roof;
    roof.moveTo(barn.left() - 6, barn.top());
    roof.lineTo(barn.center().x(), barn.top() - 26);
    roof.lineTo(barn.right() + 6, barn.top());
    roof.closeSubpath();
    p.setBrush(QColor(0x6D, 0x2A, 0x22));
    p.drawPath(roof);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    const QRectF door(barn.center().x() - 10, barn.bottom() - 24, 20, 24);
    p.drawRect(door);
    p.drawLine(door.topLeft(), door.bottomRight());
    p.drawLine(door.topRight(), door.bottomLeft());
    p.setPen(QPen(QColor(0xF5, 0xF0, 0xE0), 2));
    for (int x = 12; x < 280; x += 22)
        p.drawLine(QPointF(x, 168), QPointF(x, 186));
    p.drawLine(QPointF(8, 172), QPointF(282, 172));
    p.drawLine(QPointF(8, 180), QPointF(282, 180));
    // The badge and the name.
    paintLogo(p, QRectF(18, 18, 64, 64));
    p.setPen(kDeepGreen);
    p.setFont(tahoma(20, true));
    p.drawText(QRectF(96, 22, 300, 34), Qt::AlignLeft | Qt::AlignVCenter,
               u"Corvelle Brindlemark"_s);
    p.setPen(QColor(0x33, 0x4D, 0x33));
    QFont sub = tahoma(9);
    sub.setItalic(true);
    p.setFont(sub);
    p.drawText(QRectF(98, 56, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
               u"Herd recording data: load, browse, repair, save"_s);
    return pixmap;
}

QPixmap closeGlyph()
{
    QPixmap pixmap = canvas(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kBarnRed);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
    return pixmap;
}

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap = canvas(size, size, 1.0);
        QPainter p(&pixmap);
        paintLogo(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace bm::gui::artwork
