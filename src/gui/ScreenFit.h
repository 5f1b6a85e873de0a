#pragma once

class QWidget;

namespace bm::gui {

// Keeps a top-level window on the screen it opens on: each time it is shown it is made no larger
// than the screen's available area (allowing for the window frame, so title bar and edges show
// too) and its frame is moved inside that area. The first time, it also opens centred over
// `anchor` (the main window), or on the screen when there is none; later it stays where the user
// left it, as far as the screen allows. Its minimum size never exceeds the area either, so the
// window can always be resized to fit.
void keepOnScreen(QWidget *window, QWidget *anchor = nullptr);

// The same, once, now: sizes `window` to the screen of `anchor` (or its own) and moves its frame
// inside it, centred over `anchor` when `centre` is true.
void fitToScreen(QWidget *window, const QWidget *anchor, bool centre);

} // namespace bm::gui
