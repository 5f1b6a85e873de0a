#pragma once

#include "Layout.h"

#include <QString>

namespace bm {

class ProblemList;

class Tdm;
class ProgressSink;
class Prompter;
class TextReader;

// Reads per-type DIF files into tables: one row per line that holds a record of the file's
// record type, each field converted by the type its layout gives it, all lines through prepared
// statements inside one transaction. A line is read with the layout of its own version character
// (the layouts are read once per file and version); lines of the first record's version use the
// layout the caller names. A line's own faults (a bad date, a field that holds no number, a line
// that is no record of the file's type or holds nothing after its record type, a version without
// a layout) are reported through the prompter and the import goes on; layout errors end the
// command.
class Importer
{
public:
    struct Counts
    {
        qint64 inserted = 0;
        qint64 failedLines = 0;
        qint64 fieldErrors = 0;
    };

    // What a per-type file holds, from its first lines.
    struct Content
    {
        enum Kind {
            Blank,     // nothing but blank lines (or no bytes at all)
            Records,   // at least one record of the record type
            NoRecords, // lines, none of them a record of the record type
        };
        Kind kind = Blank;
        QString version;   // Records: the version character of the first record
        QString firstLine; // NoRecords: the first line that is not blank, trimmed
    };

    Importer(Tdm &dm, ProgressSink &progress, Prompter &prompter);

    // The import command for one per-type file: the layout of record type `code` for the version
    // character of the file's first record, the progress window shown, and the rows inserted in
    // one transaction, which is the caller's when one is open (a load's) and its own otherwise.
    // The rows go to `TableName`, or to the table `code` when it is empty. Raises what ends the
    // command; the caller hides the progress window at the end. A `lineCount` of 0 or more is
    // the number of lines of the file, known already (a split's): the file is then read once
    // instead of being counted first.
    const Counts &importTypeFile(const QString &FileName, const QString &code,
                                 const QString &TableName = QString(), qint64 lineCount = -1);

    // Imports `FileName` into `TableName` through the layout `DefName` ("DIF<type>V<v>.ini").
    // A file of blank lines inserts nothing and says nothing. Runs inside the caller's
    // transaction. `lineCount` as for importTypeFile.
    void ImportFile(const QString &FileName, const QString &TableName, const QString &DefName,
                    qint64 lineCount = -1);
    // Imports the lines that `lines` yields (from its next line on).
    void ImportData(const QString &DefName, const QString &TableName, TextReader &lines);

    // What `FileName` holds as a per-type file of record type `code`: read up to its first
    // record. A record is a line that begins with the code and holds something after the record
    // type and version.
    static Content examine(const QString &FileName, const QString &code);

    // What the last import did.
    const Counts &counts() const { return m_counts; }
    // True when an error ended the import and the problem list names the line where.
    bool listedStop() const { return m_listedStop; }

    // Every line and field error from now on is added to `problems` too (none when null), also
    // those whose prompts the user turned off. The problem names the file by its file name and
    // the line by its number in the file, and keeps the line as read in Problem::source when
    // `keepSource` is set. When an error ends the command, the problems added since this call
    // say that nothing was stored, and the line where it stopped is added with the error.
    void setProblems(ProblemList *problems, bool keepSource = false);

private:
    // Adds one problem to the list: the line `fileLine` of the file being imported, whose text
    // as read is `line`; `field` and `text` name the field and its text (empty for the line).
    void addProblem(qint64 fileLine, const QString &field, QByteArrayView text, QByteArrayView line,
                    const QString &message, const QString &outcome);

    ProblemList *m_problems = nullptr;
    qsizetype m_problemsFrom = 0; // the first problem of the command
    bool m_keepSource = false;
    bool m_listedStop = false;
    QString m_problemFile; // the name of the file being imported, and its record type
    QString m_problemCode;

    // One error of a line's data: a field that could not be read (`field` given; the value is
    // stored as Null and the line kept) or a line left out (`field` null). Counts it and asks
    // whether to go on showing errors, until the answer is No for this file.
    void reportError(const QString &TableName, qint64 lineNo, const FieldDef *field);

    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    Counts m_counts;
    bool m_prompts = true; // errors of the current file are still shown
};

} // namespace bm
