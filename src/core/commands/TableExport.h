#pragma once

#include <QString>

class QIODevice;

namespace bm {

class Tdm;
class ProgressSink;
class TextWriter;

// The rows of one query of the herd database written as a file: a per-type DIF file through a
// record layout (DifWriter) or a CSV file (CsvWriter). The query is counted for the progress
// window, then its rows are read one at a time through the writers' own statement (qTemp) and
// streamed to the file, which replaces the target only when it is written whole.
class TableExport
{
public:
    TableExport(Tdm &dm, ProgressSink &progress);

    // The rows of `QueryString` through the layout <home>Defs/<DefName> (see DifWriter::write).
    // A missing or empty layout is refused before the query runs. A query without rows writes
    // no file and removes an existing file of that name. Returns the number of rows written.
    qint64 ExportDIF(const QString &QueryString, const QString &PathAndFile, const QString &DefName,
                     bool HideProgress);

    // The rows of `QueryString` as CSV (see CsvWriter::write), with a first line of column names
    // when `Titles`. A query without rows still writes the line of column names. Returns the
    // number of rows written.
    qint64 ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                     bool HideProgress);
    // The same lines, with the column names, written to an open device (standard output) as
    // they come.
    qint64 ExportCSV(const QString &QueryString, QIODevice &out);

private:
    qint64 writeCSV(const QString &QueryString, TextWriter &writer, const QString &name,
                    bool Titles);

    Tdm &m_dm;
    ProgressSink &m_progress;
};

} // namespace bm
