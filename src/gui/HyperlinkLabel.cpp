#include "HyperlinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace bm::gui {

HyperlinkLabel::HyperlinkLabel(const QString &text, const QUrl &url, QWidget *parent)
    : QLabel(text, parent)
    , m_url(url)
{
    QFont f = font();
    f.setBold(true);
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setColour(Qt::blue);
    setToolTip(url.toString());
}

void HyperlinkLabel::setColour(const QColor &colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colour);
    setPalette(pal);
}

void HyperlinkLabel::enterEvent(QEnterEvent *event)
{
    setColour(Qt::red);
    QLabel::enterEvent(event);
}

void HyperlinkLabel::leaveEvent(QEvent *event)
{
    setColour(Qt::blue);
    QLabel::leaveEvent(event);
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        QDesktopServices::openUrl(m_url);
    QLabel::mouseReleaseEvent(event);
}

} // namespace bm::gui
