#include "ScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace bm::gui {

namespace {

// The frame the window system draws around `w`: known once it has been shown with a frame.
QMargins frameOf(const QWidget *w)
{
    if (!w || !w->isWindow() || !w->testAttribute(Qt::WA_WState_Created))
        return {};
    const QRect outer = w->frameGeometry();
    const QRect inner = w->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

bool framed(const QWidget *w)
{
    return !(w->windowFlags() & Qt::FramelessWindowHint);
}

class ScreenKeeper final : public QObject
{
public:
    ScreenKeeper(QWidget *window, QWidget *anchor)
        : QObject(window)
        , m_window(window)
        , m_anchor(anchor)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Show) {
            fitToScreen(m_window, m_anchor, !m_placed);
            m_placed = true;
            // The window system may give the frame its real size only once the window is up:
            // then the frame is checked again.
            QTimer::singleShot(50, this, [this] {
                if (m_window && m_window->isVisible())
                    fitToScreen(m_window, m_anchor, false);
            });
        }
        return false;
    }

private:
    QWidget *m_window;
    QPointer<QWidget> m_anchor;
    bool m_placed = false;
};

} // namespace

void fitToScreen(QWidget *window, const QWidget *anchor, bool centre)
{
    const bool anchored = anchor && anchor->isVisible() && anchor != window;
    QScreen *screen = anchored ? anchor->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // A window not yet shown has no frame of its own: the anchor's stands in for it.
    QMargins frame = frameOf(window);
    if (frame.isNull() && framed(window))
        frame = frameOf(anchor);
    const QSize room(std::max(1, area.width() - frame.left() - frame.right()),
                     std::max(1, area.height() - frame.top() - frame.bottom()));
    if (window->minimumWidth() > room.width() || window->minimumHeight() > room.height())
        window->setMinimumSize(window->minimumSize().boundedTo(room));
    const QSize size = window->size().boundedTo(room);
    if (size != window->size()) {
        if (window->maximumWidth() < QWIDGETSIZE_MAX || window->maximumHeight() < QWIDGETSIZE_MAX)
            window->setMaximumSize(window->maximumSize().boundedTo(room));
        window->resize(size);
    }
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    QRect outer(QPoint(), QSize(window->width() + frame.left() + frame.right(),
                                window->height() + frame.top() + frame.bottom()));
    if (centre)
        outer.moveCenter(anchored ? anchor->frameGeometry().center() : area.center());
    else
        outer.moveTopLeft(window->frameGeometry().topLeft());
    // The frame inside the area: right and bottom edges first, so the top-left corner (title
    // bar, close button) wins when the window is as large as the area.
    if (outer.right() > area.right())
        outer.moveRight(area.right());
    if (outer.bottom() > area.bottom())
        outer.moveBottom(area.bottom());
    if (outer.left() < area.left())
        outer.moveLeft(area.left());
    if (outer.top() < area.top())
        outer.moveTop(area.top());
    if (outer.topLeft() != window->frameGeometry().topLeft())
        window->move(outer.topLeft());
}

void keepOnScreen(QWidget *window, QWidget *anchor)
{
    new ScreenKeeper(window, anchor);
}

} // namespace bm::gui
