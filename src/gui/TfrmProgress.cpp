#include "TfrmProgress.h"

#include "Look.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

namespace bm::gui {

using namespace Qt::StringLiterals;

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

    Gauge = new QProgressBar(this);
    Gauge->setObjectName(u"Gauge"_s);
    Gauge->setGeometry(9, 33, 324, 27);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(true);
    Gauge->setAlignment(Qt::AlignCenter);
    Gauge->setFormat(u"%p%"_s);
    Gauge->setStyleSheet(u"QProgressBar { background: white; border: 1px solid #808080; color: "
                         "black; } QProgressBar::chunk { background: #0000CC; }"_s);

    auto *caption = new QLabel(u"Records :"_s, this);
    caption->setFont(tahoma(14));
    caption->setGeometry(150, 66, 90, 26);
    lblRecords = new QLabel(this);
    lblRecords->setObjectName(u"lblRecords"_s);
    lblRecords->setFont(tahoma(14));
    lblRecords->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblRecords->setGeometry(236, 66, 97, 26);
}

void TfrmProgress::onVisibleChanged(bool visible)
{
    if (visible) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        QWidget::show();
        raise();
    } else {
        QWidget::hide();
    }
}

void TfrmProgress::onStatusChanged()
{
    lblStatus->setText(status());
}

void TfrmProgress::onRecordsChanged()
{
    lblRecords->setText(records());
}

void TfrmProgress::onGaugeChanged()
{
    Gauge->setValue(percent());
}

void TfrmProgress::onRepaint()
{
    if (!QWidget::isVisible())
        return;
    QWidget::repaint();
    // Let the window system map and draw the window; no user input is handled here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmProgress::onBusyChanged(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

} // namespace bm::gui
