#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own artwork, drawn as vector shapes at the size it is shown.
namespace bm::gui::artwork {

QPixmap logo();         // 64 x 64, the left of the top bar
QPixmap banner();       // 131 x 61, the right of the top bar
QPixmap aboutPicture(); // 407 x 200, the top of the about box
QPixmap closeGlyph();   // 16 x 16, the about box's Close button
QIcon windowIcon();

} // namespace bm::gui::artwork
