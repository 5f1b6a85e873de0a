#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace bm {

class Tdm;
class ProgressSink;

// One level of undo for the bulk commands (a load, the clean-ups, the trims, the herd-code
// change, the national-ID merge and a file-check run that changed data).
//
// Before its transaction begins, such a command copies the herd database as committed into a
// pending file of the program folder, copying the file under SQLite's shared lock (with
// SQLite's online backup when the database keeps a write-ahead log).
// Once the command has committed, and only when it changed data, the copy becomes <home>Undo.db
// and what it belongs to is written to <home>Undo.ini; a command that fails or changes nothing
// leaves the previous undo in place. Undo checks Undo.db and puts it back into the herd
// database as one step with SQLite's online backup, keeping the state it replaces as the next
// undo (a redo). Undo.ini is written last and removed first, so a kept state is only ever
// offered once it is complete.

// What a kept state belongs to.
struct UndoInfo
{
    QString caption;   // the command: "Load Files"
    QDateTime taken;   // when it was kept (UTC)
    QString layouts;   // the fingerprint of the record layouts then
    bool redo = false; // the state an undo replaced: undoing it again is a redo
    qint64 serial = 0; // counts the states kept in this folder
    qint64 size = 0;   // bytes of Undo.db
    // "Undo Load Files", or "Redo Load Files" for the state an undo replaced.
    QString menuText() const;
};

// The state kept in the program folder `home`, when there is one that is complete.
std::optional<UndoInfo> undoInfo(const QString &home);

// A fingerprint of every file of <home>Defs/ (names and contents): the layouts the herd
// database's tables are made from.
QString layoutsFingerprint(const QString &home);

// The state of the herd database before one command. Construct it inside the command's folder
// lock and before its transaction begins; it raises when the copy cannot be made (a full disk
// included), and the command must then not run. commit() after the command's transaction has
// committed; without it (an error, a cancel) the copy is removed and the previous undo stays.
class UndoPoint
{
public:
    UndoPoint(Tdm &dm, ProgressSink &progress, const QString &caption);
    ~UndoPoint();
    UndoPoint(const UndoPoint &) = delete;
    UndoPoint &operator=(const UndoPoint &) = delete;

    // Takes the copy for good when the command changed data since the point was made, and no
    // other command has kept a state since (a file-check run lets other commands run between
    // its lines). Raises when the copy cannot be put in place.
    void commit();

private:
    friend UndoInfo undoLastCommand(Tdm &dm, ProgressSink &progress);
    void take(bool redo);

    Tdm &m_dm;
    QString m_caption;
    QString m_pending; // the copy, until it is taken or removed
    qint64 m_changes = 0;
    qint64 m_serial = 0;
};

// Puts the kept state back into the herd database in one step; the state it replaces is kept
// in turn, so the undo can itself be undone. Returns what was undone. Raises, changing nothing,
// when there is nothing to undo, when the record layouts have changed since the state was kept
// (its tables would no longer fit them), or when the copy fails. No transaction may be open.
UndoInfo undoLastCommand(Tdm &dm, ProgressSink &progress);

// The question asked before an undo.
QString undoQuestion(const UndoInfo &info);

} // namespace bm
