#include "LiveWindows.h"

#include "Database.h"
#include "GridModel.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace bm::gui::live {

namespace {

// The longest the windows go without being painted inside a command.
constexpr qint64 kPaintEveryMs = 100;

struct State
{
    db::Connection *db = nullptr;
    QPointer<bm::GridModel> grid;
    QPointer<QWidget> view;
    int commands = 0;
    bool painting = false;
    QElapsedTimer sincePaint;
    std::vector<std::function<void()>> waiting;
};

State &state()
{
    static State s;
    return s;
}

bool viewIsPainting(const State &s)
{
    if (!s.view)
        return false;
    if (s.view->paintingActive())
        return true;
    const auto *area = qobject_cast<const QAbstractScrollArea *>(s.view.data());
    return area && area->viewport()->paintingActive();
}

void onSteps()
{
    State &s = state();
    if (s.commands == 0 || s.painting || viewIsPainting(s))
        return;
    if (!s.sincePaint.isValid()) {
        s.sincePaint.start();
        return;
    }
    if (s.sincePaint.elapsed() < kPaintEveryMs)
        return;
    s.painting = true;
    if (s.grid)
        s.grid->holdReads(true);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (s.grid)
        s.grid->holdReads(false);
    s.painting = false;
    s.sincePaint.restart();
}

} // namespace

void attach(db::Connection &db, bm::GridModel *grid, QWidget *view)
{
    State &s = state();
    s.db = &db;
    s.grid = grid;
    s.view = view;
    db.setBusyCallback(&onSteps);
}

void detach(db::Connection *db)
{
    State &s = state();
    if (db)
        db->setBusyCallback({});
    if (s.db == db)
        s.db = nullptr;
}

Command::Command()
{
    State &s = state();
    if (s.commands++ == 0)
        s.sincePaint.start();
}

Command::~Command()
{
    State &s = state();
    if (--s.commands > 0)
        return;
    // The work that waited for the statements runs once the command is over.
    std::vector<std::function<void()>> waiting;
    waiting.swap(s.waiting);
    for (auto &job : waiting)
        QMetaObject::invokeMethod(qApp, std::move(job), Qt::QueuedConnection);
}

bool commandRunning()
{
    return state().commands > 0;
}

bool painting()
{
    return state().painting;
}

void afterStatement(const std::function<void()> &job)
{
    State &s = state();
    if (s.painting)
        s.waiting.push_back(job);
    else
        job();
}

} // namespace bm::gui::live
