#pragma once

#include <functional>

namespace bm {
class ProgressSink;
class Prompter;
} // namespace bm

namespace bm::gui {

// Runs one command of a window: an error ends it and is shown in the standard error box, and
// however it ends the progress window is hidden and the normal cursor restored. No exception
// leaves it, so none crosses Qt's event loop. False on an error.
bool runCommand(ProgressSink *progress, Prompter &prompter, const std::function<void()> &command);

} // namespace bm::gui
