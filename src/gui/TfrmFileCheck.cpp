#include "TfrmFileCheck.h"

#include "Artwork.h"
#include "Look.h"
#include "ScreenFit.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace bm::gui {

using namespace Qt::StringLiterals;

TfrmFileCheck::TfrmFileCheck(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(u"frmFileCheck"_s);
    setWindowTitle(u"File Check"_s);
    setWindowIcon(artwork::windowIcon());
    setFont(pixelFont(u"Tahoma"_s, 11));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFormColour);
    setPalette(pal);
    resize(488, 435);

    lblTitle = new QLabel(u"Corvelle Brindlemark File Check"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    lblTitle->setFont(pixelFont(u"Arial"_s, 24, true));
    QPalette green = lblTitle->palette();
    green.setColor(QPalette::WindowText, kCheckTitleColour);
    lblTitle->setPalette(green);
    lblTitle->setAutoFillBackground(false);
    lblTitle->move(8, 8);
    lblTitle->adjustSize();

    mOutput = new QPlainTextEdit(this);
    mOutput->setObjectName(u"mOutput"_s);
    mOutput->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mOutput->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mOutput->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mOutput->setGeometry(8, 43, 473, 382);

    // Over the main window and within the screen; as a window of the main window, the window
    // system keeps it above the main window while it is open.
    keepOnScreen(this, parent);
}

void TfrmFileCheck::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The text grows with the window; at the design size it is 473 x 382 at (8, 43).
    mOutput->setGeometry(8, 43, width() - 15, height() - 53);
}

} // namespace bm::gui
