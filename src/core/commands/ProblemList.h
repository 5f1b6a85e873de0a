#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace bm {

// One line or field error of an import, a load or a merge.
struct Problem
{
    QString file;       // the file as the user knows it: "herd.104", or "herd.zip: herd.104"
    qint64 line = 0;    // its line in that file, counted from 1 with blank lines (0: not known)
    QString recordType; // the record type of the layout that read the line
    QString field;      // the field; empty when the line was refused as a whole
    QString text;       // the text found: the field's, or the whole line's (trimmed)
    QString message;    // what was wrong: "Not a valid date"
    QString outcome;    // what became of it: "stored as empty", "the line was left out"
    // The line as read (UTF-8), while the load still has to find it in the file it was split
    // from; empty otherwise.
    QByteArray source;
};

// Every line and field error of one command, in the order found, also those the user chose not
// to be told of again. The prompts of the import are not changed by it.
//
// The memory it takes is bounded whatever the number of problems: the first ones are held in
// memory, the rest go to a scratch file (unnamed, so nothing is left behind however the program
// ends) and are read back from there one at a time.
class ProblemList
{
public:
    // Problems held in memory before the rest go to the scratch file.
    static constexpr qsizetype kInMemory = 16384;

    ProblemList();
    ~ProblemList();
    ProblemList(ProblemList &&other) noexcept;
    ProblemList &operator=(ProblemList &&other) noexcept;

    // The folder of the scratch file (the program folder's scratch folder); the system's
    // temporary folder when none is set. Takes effect when the scratch file is made.
    void setSpillFolder(const QString &folder) { m_spillFolder = folder; }
    // How many problems are held in memory (kInMemory unless set; for tests).
    void setMemoryLimit(qsizetype problems) { m_limit = problems; }

    // Raises when a problem cannot be written to the scratch file (a full disk).
    void add(Problem problem);
    void clear();
    bool isEmpty() const { return size() == 0; }
    qsizetype size() const { return qsizetype(m_items.size()) + m_spilled; }
    // The problem `i`, as shown: with the file names and the outcome the command gave it.
    Problem at(qsizetype i) const;

    // Sets the line of problem `i`.
    void setLine(qsizetype i, qint64 line);
    // The problems from `from` on are named by the file the user chose: each file name becomes
    // `prefix` followed by `replacement` (by the name it has when `replacement` is null).
    void renameFiles(qsizetype from, const QString &prefix, const QString &replacement);
    // The lines kept for finding the problems again are dropped from `from` on.
    void dropSources(qsizetype from);
    // The command that found the problems from `from` on ended with an error and stored
    // nothing: their outcome says so. Problems added later keep their own.
    void markStopped(qsizetype from);
    // The outcome of a problem of a command that stored nothing, and of the line (or error)
    // where such a command stopped.
    static QString nothingStored();
    static QString stoppedHere();

    // The column titles: File, Line, Record Type, Field, Text, Message.
    static QStringList headers();
    // One cell of a problem as shown and written (the line number in decimal, empty when not
    // known; the message followed by its outcome).
    static QString cell(const Problem &problem, int column);

    // Writes every problem as a CSV file (RFC 4180: text cells quoted, quotes doubled), the
    // titles first, Windows-1252 with CR LF. The file replaces `path` only once it is complete;
    // a character that Windows-1252 cannot hold stops the write with an error.
    void writeCsv(const QString &path) const;
    // The same with the problems `rows` (indexes into the list) in that order.
    void writeCsv(const QString &path, const std::vector<qsizetype> &rows) const;

private:
    class Spill;
    struct Rename
    {
        qsizetype from;
        qsizetype to; // the problems [from, to) existed when the rename was asked
        QString prefix;
        QString replacement;
    };

    std::vector<Problem> m_items; // the first problems
    std::unique_ptr<Spill> m_spill;
    qsizetype m_spilled = 0;
    qsizetype m_limit = kInMemory;
    QString m_spillFolder;
    // What later calls changed in problems already in the scratch file, applied as they are
    // read.
    std::vector<Rename> m_renames;
    qsizetype m_sourcesFrom = -1; // -1: every source kept
    qsizetype m_stoppedFrom = -1; // -1: not stopped
    qsizetype m_stoppedTo = -1;
};

// `text` with every control character shown as \xNN, so a field holding one (a NUL byte) reads
// as it is in the file instead of vanishing from a message.
QString visibleText(const QString &text);

} // namespace bm
