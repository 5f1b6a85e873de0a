#include "TfrmProgress.h"

#include "Look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// The gauge: a bar filled in the gauge colour on white, its percentage in the middle drawn black
// on white and white on the fill, so it can be read wherever the fill has reached.
class GaugeBar final : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect frame = rect().adjusted(0, 0, -1, -1);
        const QRect inside = rect().adjusted(1, 1, -1, -1);
        p.fillRect(inside, Qt::white);
        const qint64 span = qint64(maximum()) - minimum();
        const int filled
                = span <= 0 ? 0 : int(qint64(inside.width()) * (value() - minimum()) / span);
        const QRect fill(inside.topLeft(),
                         QSize(std::clamp(filled, 0, inside.width()), inside.height()));
        p.fillRect(fill, kGaugeColour);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(frame);
        const QString label = text();
        p.setFont(font());
        p.setClipRect(inside.adjusted(fill.width(), 0, 0, 0));
        p.setPen(Qt::black);
        p.drawText(inside, Qt::AlignCenter, label);
        p.setClipRect(fill);
        p.setPen(Qt::white);
        p.drawText(inside, Qt::AlignCenter, label);
    }
};

} // namespace

TfrmProgress::TfrmProgress(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(u"frmProgress"_s);
    setWindowTitle(u"Please Wait"_s);
    setFixedSize(342, 98);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kProgressColour);
    setPalette(pal);
    setFont(tahoma(8));

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(u"lblStatus"_s);
    lblStatus->setGeometry(0, 4, 342, 24);
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setFont(tahoma(14));

    Gauge = new GaugeBar(this);
    Gauge->setObjectName(u"Gauge"_s);
    Gauge->setGeometry(9, 33, 324, 27);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(true);
    Gauge->setAlignment(Qt::AlignCenter);
    Gauge->setFormat(u"%p%"_s);
    QFont bold = Gauge->font();
    bold.setBold(true);
    Gauge->setFont(bold);

    auto *caption = new QLabel(u"Records :"_s, this);
    caption->setFont(tahoma(14));
    caption->setGeometry(150, 66, 90, 26);
    lblRecords = new QLabel(this);
    lblRecords->setObjectName(u"lblRecords"_s);
    lblRecords->setFont(tahoma(14));
    lblRecords->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblRecords->setGeometry(236, 66, 97, 26);
}

void TfrmProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void TfrmProgress::onVisibleChanged(bool visible)
{
    if (visible) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        QWidget::show();
        raise();
        // The window is drawn before the work starts: wait until the window system has mapped
        // it (a second at most, however slow the window manager), then paint it.
        QElapsedTimer waited;
        waited.start();
        while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        paintNow(true);
    } else {
        QWidget::hide();
    }
}

void TfrmProgress::onStatusChanged()
{
    lblStatus->setText(status());
    paintNow(false);
}

void TfrmProgress::onRecordsChanged()
{
    lblRecords->setText(records());
    paintNow(false);
}

void TfrmProgress::onGaugeChanged()
{
    Gauge->setValue(percent());
    paintNow(false);
}

void TfrmProgress::onRepaint()
{
    paintNow(true);
}

void TfrmProgress::paintNow(bool always)
{
    if (!QWidget::isVisible())
        return;
    // Every change shows at once, at most every 40 ms, so a gauge that moves with each record
    // costs the work nothing.
    if (!always && m_painted.isValid() && m_painted.elapsed() < 40)
        return;
    QWidget::repaint();
    // Let the window system draw the window (and the main window behind it); no user input is
    // handled here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_painted.start();
}

void TfrmProgress::onBusyChanged(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

} // namespace bm::gui
