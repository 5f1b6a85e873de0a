#pragma once

#include <QString>

namespace bm {

class Tdm;
class ProgressSink;

// Writes the rows of one query as a per-type DIF file: one fixed-width line per row through a
// record layout. Rows are read one at a time through the raw SQLite handle and streamed to a
// temporary file beside the target, which replaces the target only when the whole file is
// written: an error leaves an existing file as it was. The file is Windows-1252 with CR LF after
// every line; numbers always use ".".
class DifWriter
{
public:
    DifWriter(Tdm &dm, ProgressSink &progress);

    // One line per row through the layout <home>Defs/<DefName>, each field placed at its start
    // column and filled out to its width; the field VersionNo holds the layout's version,
    // whatever the row's column holds, so every line reads back through that layout. A query
    // without rows writes no file and removes an existing file of that name. A missing or empty
    // layout, a value wider than its field, a date that is no date or a character outside
    // Windows-1252 stops the export with an error naming the table, the field and the row. Returns
    // the number of rows written.
    qint64 ExportDIF(const QString &QueryString, const QString &PathAndFile, const QString &DefName,
                     bool HideProgress);

private:
    Tdm &m_dm;
    ProgressSink &m_progress;
};

} // namespace bm
