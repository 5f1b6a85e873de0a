#pragma once

#include <QString>

namespace bm {

class ProgressSink;
class RowReader;
class TextWriter;

// Writes rows as CSV (RFC 4180), every column in the rows' order, each cell by its column's
// declared type, to a TextWriter (a file written whole or not at all, or standard output). The
// text is Windows-1252 with CR LF after every line; numbers always use ".". The rows come from
// the caller (TableExport reads them from the herd database).
class CsvWriter
{
public:
    explicit CsvWriter(ProgressSink &progress);

    // A line of column names (with Titles), then one line per row: text quoted with inner
    // quotes doubled, integers in decimal, reals rounded to two decimals and written in their
    // shortest form, dates in the locale's short date form (four-digit year) and the long time
    // when not midnight, Booleans True/False, Null empty. No rows still write the line of column
    // names. `name` names the target in messages; `rowCount` is what the progress window counts
    // to. A failure of the database while reading the rows passes unchanged. Returns the number
    // of rows written.
    qint64 write(RowReader &rows, qint64 rowCount, TextWriter &writer, const QString &name,
                 bool Titles);

private:
    ProgressSink &m_progress;
};

} // namespace bm
