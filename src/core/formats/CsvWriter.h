#pragma once

#include <QString>

class QIODevice;

namespace bm {

class Tdm;
class ProgressSink;
class TextWriter;

// Writes the rows of one query as a CSV file (RFC 4180), every column in the query's order,
// each cell by its column's declared type. Rows are streamed to a temporary file beside the
// target, which replaces the target only when the whole file is written: an error leaves an
// existing file as it was. The file is Windows-1252 with CR LF after every line; numbers always
// use ".".
class CsvWriter
{
public:
    CsvWriter(Tdm &dm, ProgressSink &progress);

    // A line of column names (with Titles), then one line per row: text quoted with inner
    // quotes doubled, integers in decimal, reals rounded to two decimals and written in their
    // shortest form, dates in the locale's short date form (four-digit year) and the long time
    // when not midnight, Booleans True/False, Null empty. A query without rows still writes the
    // line of column names. Returns the number of rows written.
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
