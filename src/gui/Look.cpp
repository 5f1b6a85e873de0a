#include "Look.h"

#include <QApplication>
#include <QFontMetrics>

namespace bm::gui {

using namespace Qt::StringLiterals;

QString appTitle()
{
    return u"Corvelle Brindlemark"_s;
}

int titleBarWidth(const QString &title)
{
    QString shown = title;
    const QString program = QGuiApplication::applicationDisplayName();
    if (!program.isEmpty() && !shown.contains(program))
        shown += u" \u2014 "_s + program;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    return QFontMetrics(titleFont).horizontalAdvance(shown) + 140;
}

void installFontSubstitutes()
{
    const QStringList sans = {u"DejaVu Sans Condensed"_s, u"DejaVu Sans"_s, u"Sans Serif"_s};
    QFont::insertSubstitutions(u"Tahoma"_s, sans);
    QFont::insertSubstitutions(u"MS Sans Serif"_s, sans);
    QFont::insertSubstitutions(u"Arial"_s, QStringList{u"Liberation Sans"_s} + sans);
}

QFont tahoma(int pointSize, bool bold)
{
    QFont font(u"Tahoma"_s, pointSize, bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont pixelFont(const QString &family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont msSansSerif(int pointSize, bool bold)
{
    QFont font(u"MS Sans Serif"_s, pointSize, bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace bm::gui
