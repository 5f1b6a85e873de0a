#pragma once

#include <functional>

class QWidget;

namespace bm {
class GridModel;
namespace db {
class Connection;
}
} // namespace bm

namespace bm::gui {

// Keeps the program's windows painted while the herd database works through a long statement on
// the GUI thread (a sort of a million rows, a clean-up's search, a save's long read). The
// database calls back every so often while a statement runs; inside a command (while a Command
// lives), every 100 ms the windows get their pending window-system and paint events, but never the
// user's input, so no other command can start meanwhile. While they are painted, the grid shows
// only the rows it holds (it reads nothing), and work that would use the database waits for the
// command to end (afterStatement). Nothing is pumped while the grid itself paints.
namespace live {

// Watches the connection `db`; `grid` is the model the grid view `view` shows.
void attach(db::Connection &db, bm::GridModel *grid, QWidget *view);
// Stops watching `db` (before it is closed).
void detach(db::Connection *db);

// While one lives, a long statement keeps the windows painted.
class Command
{
public:
    Command();
    ~Command();
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;
};
// True while a Command lives.
bool commandRunning();

// True while the windows are painted from inside a statement.
bool painting();
// Runs `job` now; when called while painting(), once the command has ended instead (queued).
void afterStatement(const std::function<void()> &job);

} // namespace live

} // namespace bm::gui
