#pragma once

#include "DataStamp.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace bm {

class Tdm;
class ChangeSource;
class ProgressSink;

// One level of undo for the bulk commands (a load, the clean-ups, the trims, the herd-code
// change, the national-ID merge and a file-check run that changed data).
//
// Before its transaction begins, such a command copies the herd database as committed into a
// pending file of the program folder, <home>Undo.db.<point>.part, and writes beside it what the
// copy is for (<home>Undo.db.<point>.next: the command, and the data generation of the copy,
// see DataStamp). The command's commits stamp the data with that point. Once it has committed,
// and only when it changed the herd tables, the copy becomes <home>Undo.db and <home>Undo.ini
// says what it belongs to and which data generation the command left behind; a command that
// fails or changes nothing leaves the previous undo in place.
//
// Undo puts Undo.db back only while the herd data is still at that generation: anything that
// changed the data since (an import, an edit in the grid, a file-check fix, any other command)
// would be lost with it, so undo is then refused, naming what changed. It puts the copy back as
// one step with SQLite's online backup, keeping the state it replaces as the next undo (a redo)
// the same way.
//
// Every step can be cut short by a kill: the next command that holds the folder's lock finishes
// what the files and the data's stamp show was done (finishUndoSteps): a copy whose command
// committed is kept, one whose command did not is removed, and an undo that put its copy back
// keeps the state it replaced.

// What a kept state belongs to.
struct UndoInfo
{
    QString caption;           // the command: "Load Files"
    QDateTime taken;           // when it was kept (UTC)
    QString layouts;           // the fingerprint of the record layouts then
    bool redo = false;         // the state an undo replaced: undoing it again is a redo
    qint64 size = 0;           // bytes of Undo.db
    qint64 generation = 0;     // the data generation the command left: what undo may replace
    qint64 keptGeneration = 0; // the data generation of the state in Undo.db
    // "Undo Load Files", or "Redo Load Files" for the state an undo replaced.
    QString menuText() const;
};

// The state kept in the program folder `home`, when there is one that is complete.
std::optional<UndoInfo> undoInfo(const QString &home);

// Whether the kept state may be put back now.
struct UndoCheck
{
    std::optional<UndoInfo> info; // none: there is nothing to undo
    QString refusal;              // why it may not (the data changed since, the layouts changed)
    QString unreadable; // the herd database cannot be read now (why): it would be replaced whole
};
// Looks at the kept state and at the herd database as committed, on a connection of its own.
// Call it holding the folder's lock.
UndoCheck checkUndo(const QString &home);

// The question asked before an undo (naming a herd database that cannot be read).
QString undoQuestion(const UndoCheck &check);

// A fingerprint of every file of <home>Defs/ (names and contents): the layouts the herd
// database's tables are made from.
QString layoutsFingerprint(const QString &home);

// The state of the herd database before one command. Construct it inside the command's folder
// lock and before its transaction begins; it raises when the copy cannot be made (a full disk
// included), and the command must then not run. commit() after the command's transactions have
// committed; without it (an error, a cancel) the copy is removed and the previous undo stays.
class UndoPoint
{
public:
    UndoPoint(Tdm &dm, ProgressSink &progress, const QString &caption);
    ~UndoPoint();
    UndoPoint(const UndoPoint &) = delete;
    UndoPoint &operator=(const UndoPoint &) = delete;

    // Keeps the copy for good when the command's own commits changed the herd tables and nothing
    // else changed them meanwhile (a file-check run lets other commands run between its lines).
    // Never raises: the command has committed. When the copy cannot be kept, returns a message
    // that says so (the command itself was done); empty otherwise.
    [[nodiscard]] QString commit();

private:
    friend struct UndoSteps;
    enum class Kind { Command, Restore };
    UndoPoint(const QString &home, Tdm *dm, sqlite3 *db, ProgressSink &progress,
              const QString &caption, Kind kind, bool redo, bool unreadable, qint64 restoring);
    // Removes the pending copy and its note.
    void drop();

    Tdm *m_dm = nullptr;
    QString m_home;
    QString m_caption;
    QString m_point;   // names the pending copy and its note
    QString m_pending; // the copy, until it is taken or removed
    qint64 m_before = -1;
    std::unique_ptr<ChangeSource> m_source; // names the command's commits after the point
    bool m_bulkLock = false; // holds the bulk lock of a server database for the command
};

// What an undo did.
struct UndoResult
{
    UndoInfo undone;
    // Set when the state the undo replaced could not be kept for a redo (the undo was done).
    QString warning;
};

// Puts the kept state back into the herd database in one step; the state it replaces is kept in
// turn, so the undo can itself be undone. Raises, changing nothing, when checkUndo() refuses,
// when the kept copy is damaged, or when the copy fails. No transaction may be open.
UndoResult undoLastCommand(Tdm &dm, ProgressSink &progress);
// The same on a connection of its own, for a herd database that the program cannot open (a
// damaged schema): the kept state replaces it whole.
UndoResult undoLastCommand(const QString &home, ProgressSink &progress);

// Finishes or rolls back the steps of keeping or putting back a state that a killed copy of the
// program left unfinished, and removes pending copies that belong to nothing. Call it holding the
// folder's lock; it never raises (what it cannot decide now stays for a later call).
void finishUndoSteps(const QString &home);

} // namespace bm
