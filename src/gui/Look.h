#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// The program's look: its title, colours and fonts.
namespace bm::gui {

// The application title: the caption of the standard error box and of every message box.
QString appTitle();
// The width a window needs for its title bar to show `title` whole, with the title bar's
// buttons, as the window system shows it: the program's name after the window's own title.
int titleBarWidth(const QString &title);

inline const QColor kFormColour{0xFF, 0xFF, 0xE6};       // main window background (pale cream)
inline const QColor kTitleColour{0xDD, 0xFF, 0xDD};      // grid titles and record indicator
inline const QColor kAlternateRow{0xF5, 0xF5, 0xF5};     // every other grid row
inline const QColor kProgressColour{0xF5, 0xF5, 0xFF};   // progress window background
inline const QColor kGaugeColour{0x00, 0x00, 0xCC};      // progress gauge fill
inline const QColor kCheckTitleColour{0x00, 0x6F, 0x00}; // file-check window title (dark green)

// The windows are designed for Tahoma; where it is not installed the closest sans font stands
// in (DejaVu Sans Condensed has Tahoma's narrow width; Liberation Sans has Arial's metrics).
// Call once before any window is made.
void installFontSubstitutes();
QFont tahoma(int pointSize, bool bold = false);
// A font by its height in pixels, as the file-check window gives its fonts.
QFont pixelFont(const QString &family, int pixelSize, bool bold = false);
QFont msSansSerif(int pointSize, bool bold = false);

} // namespace bm::gui
