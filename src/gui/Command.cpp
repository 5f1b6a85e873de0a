#include "Command.h"

#include "Error.h"
#include "LiveWindows.h"
#include "ProgressSink.h"
#include "Prompter.h"

#include <QApplication>

#include <exception>
#include <optional>

namespace bm::gui {

bool runCommand(ProgressSink *progress, Prompter &prompter, const std::function<void()> &command)
{
    std::optional<QString> error; // set by any error, even one without a message
    // A long statement of the command keeps the windows painted.
    const live::Command live;
    try {
        command();
    } catch (const Error &e) {
        error = e.message();
    } catch (const std::exception &e) {
        error = QString::fromLocal8Bit(e.what());
    }
    if (progress)
        progress->hide();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (!error)
        return true;
    prompter.showError(*error);
    return false;
}

} // namespace bm::gui
