#pragma once

#include <QString>

class QVariant;

namespace bm {

class Tdm;
class ProgressSink;

// Why a field cannot hold a value, in the words of both the save that meets it in a row and the
// grid that refuses it as typed: "The field <field> cannot hold "<value>": <why>".
QString fieldRefusal(const QString &field, const QString &value, const QString &why);
// The `why` of a character that the Windows-1252 code page of the files cannot hold.
QString codePageRefusal(const QString &character);

// The check of an edit before the grid takes it: `value` (as the grid would store it in `column`
// of record-type table `table`; `typed` is the text typed) is refused when a save could not
// write it: too wide or with too many digits for the field of the layout the save writes with
// (the current version's), or with a character the files cannot carry. Returns the save's own
// message for the value (fieldRefusal(), quoting `typed`), or empty text when a save can write it.
QString editRefusal(Tdm &dm, const QString &table, const QString &column, const QVariant &value,
                    const QString &typed);

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
    // Windows-1252 stops the export with an error naming the table and the row, then
    // fieldRefusal() for the field and the value (quoted as the grid shows it to edit). Returns
    // the number of rows written.
    qint64 ExportDIF(const QString &QueryString, const QString &PathAndFile, const QString &DefName,
                     bool HideProgress);

private:
    Tdm &m_dm;
    ProgressSink &m_progress;
};

} // namespace bm
