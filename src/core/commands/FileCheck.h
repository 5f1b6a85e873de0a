#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace bm {

class ProgressSink;
class Tdm;

// The file-check script: FileCheck.SQL in the program folder, one check or fix per line.
QString fileCheckScriptPath(const QString &home);

// What one line of the script is, decided on its text as read (no trimming), by these tests in
// this order:
//   Check   the first two characters are "/!": a titled query whose rows are listed;
//   Action  not blank after trimming, and the first character is not "/": run as it stands;
//   Comment the first character is "/";
//   Blank   nothing but blanks and control characters.
enum class ScriptLineKind { Check, Action, Comment, Blank };

struct ScriptLine
{
    ScriptLineKind kind = ScriptLineKind::Blank;
    // Check: the text between "/!" plus one character and the marker "!/", unchanged (trailing
    // blanks kept); empty without a marker or when the marker starts before position 5.
    QString title;
    // Check: the text after the marker plus one character, trimmed of blanks and control
    // characters; without a marker, everything after "/!". Action: the whole line, unchanged.
    QString sql;
};

// Classifies one line and, for a check, cuts its title and query. With p the 1-based position
// of the first "!/" (0 when there is none), the title is positions 4 to p-1 and the query
// positions p+3 to the end: the character right after "/!" and the one right after the marker
// are always skipped. Pure: no database, no files.
ScriptLine classifyScriptLine(QStringView line);

// Where a run of the script sends what it finds, and how it lets the rest of the program run.
class CheckOutput
{
public:
    virtual ~CheckOutput() = default;
    // A check found rows: `lines` are its title, its header and one line per row. The desktop
    // shows its findings window, brings it to the front and appends the lines.
    virtual void findings(const QStringList &lines) = 0;
    // Called after every line of the script. The desktop lets pending window events run here.
    // Returning false ends the run quietly after this line (the program is closing).
    virtual bool lineDone() { return true; }
    // What a fix changed: "Fix on line 7: 3 rows changed". Written where the findings go.
    virtual void fixDone(const QString &line) { findings({line}); }
    // Something the user should know about the run that is no finding (the state before it
    // could not be kept for undo). The desktop shows it in the findings window.
    virtual void notice(const QString &text) { findings({text}); }
};

// Runs the script <home>FileCheck.SQL on the herd database, line by line:
// - a check line's query is run and, when it returns rows, its title, its header (the column
//   names joined by ",") and its rows (values in the grid's text form without display formats,
//   Null as empty, joined by "," without quoting) go to `output`. A query the database refuses,
//   or one that returns no result set, raises: the run stops at that line, and what earlier
//   lines did and wrote stays;
// - an action line (a fix) is run as it stands and a failure of its own is ignored; a failure of
//   the database itself (disk full, I/O error, read-only, locked, out of memory, corrupt)
//   raises. A fix that ran says how many rows of the record-type tables it changed, as a
//   finding of one line: "Fix on line 7: 3 rows changed".
// A line may only read and change rows: attaching database files, changing the herd database's
// tables, pragmas that change the file or reach other files, and writing the data generation
// are refused, and stop the run with a message naming the line.
// Each line is one transaction of its own, so a line takes effect whole or not at all and a
// failing line never undoes the lines before it. A line may hold several statements separated
// by ";" (a check's query only one); statements that begin, end or mark transactions are
// refused, since the run keeps each line's transaction itself.
// A script that cannot be read raises before anything is run. The state before the run is kept
// for undo (UndoPoint) when the run changed data, also when it ended with an error; `progress`
// shows the copy of a large database.
void runFileCheck(Tdm &dm, CheckOutput &output, ProgressSink *progress = nullptr);

// The lines of a script, read whole with the text-file rules. Raises when it cannot be read, is
// no plain file (a device, a pipe, a folder) or is larger than any script (4 MB).
QStringList readCheckScript(const QString &path);

} // namespace bm
