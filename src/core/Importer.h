#pragma once

#include "Layout.h"

#include <QString>

namespace bm {

class Tdm;
class ProgressSink;
class Prompter;
class TextReader;

// Reads per-type DIF files into tables: one row per non-blank line, each field converted by the
// type its layout gives it, all lines through one prepared statement inside the caller's
// transaction. Bad dates and failed lines are reported through the prompter and the import goes
// on; layout errors and a scaled Float that is not a whole number end the command.
class Importer
{
public:
    struct Counts
    {
        qint64 inserted = 0;
        qint64 failedLines = 0;
        qint64 fieldErrors = 0;
    };

    Importer(Tdm &dm, ProgressSink &progress, Prompter &prompter);

    // Imports `FileName` into `TableName` through the layout `DefName` ("DIF<type>V<v>.ini").
    // An empty file, or one whose first line is of another record type than the layout's,
    // inserts nothing and says nothing.
    void ImportFile(const QString &FileName, const QString &TableName, const QString &DefName);
    // Imports the lines that `lines` yields (from its next line on).
    void ImportData(const QString &DefName, const QString &TableName, TextReader &lines);

    // What the last ImportFile or ImportData did.
    const Counts &counts() const { return m_counts; }

private:
    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    Counts m_counts;
};

} // namespace bm
