#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace bm {

class Tdm;
class ProgressSink;
class TextWriter;

// Writes the rows of one query as a per-type DIF file or as a CSV file. Rows are read one at a
// time through the raw SQLite handle and streamed to a temporary file beside the target, which
// replaces the target only when the whole file is written: an error leaves an existing file as
// it was. Files are Windows-1252 with CR LF after every line; numbers always use ".".
class Exporter
{
public:
    Exporter(Tdm &dm, ProgressSink &progress);

    // One fixed-width line per row through the layout <home>Defs/<DefName>, each field placed at
    // its start column and filled out to its width. A query without rows writes no file and
    // removes an existing file of that name. A missing or empty layout, a value wider than its
    // field, a date that is no date or a character outside Windows-1252 stops the export with an
    // error naming the table, the field and the row. Returns the number of rows written.
    qint64 ExportDIF(const QString &QueryString, const QString &PathAndFile, const QString &DefName,
                     bool HideProgress);

    // A line of column names (with Titles), then one line per row, each cell written by its
    // column's declared type: text quoted with inner quotes doubled, integers in decimal, reals
    // rounded to two decimals and written in their shortest form, dates in the locale's short
    // date form (four-digit year) and the long time when not midnight, Booleans True/False,
    // Null empty. A query without rows still writes the line of column names. Returns the
    // number of rows written.
    qint64 ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                     bool HideProgress);
    // The same lines written to an open device (standard output), with the column names.
    qint64 ExportCSV(const QString &QueryString, QIODevice &out);

private:
    qint64 writeCSV(const QString &QueryString, TextWriter &writer, const QString &name,
                    bool Titles);

    Tdm &m_dm;
    ProgressSink &m_progress;
};

} // namespace bm
