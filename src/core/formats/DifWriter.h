#pragma once

#include "Layout.h"

#include <QString>

class QVariant;

namespace bm {

class ProgressSink;
class RowReader;

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
QString editRefusal(const QString &home, const QString &table, const QString &column,
                    const QVariant &value, const QString &typed);

// Writes rows as a per-type DIF file: one fixed-width line per row through a record layout.
// Rows are read one at a time and streamed to a temporary file beside the target, which replaces
// the target only when the whole file is written: an error leaves an existing file as it was.
// The file is Windows-1252 with CR LF after every line; numbers always use ".". The rows come
// from the caller (TableExport reads them from the herd database).
class DifWriter
{
public:
    // Reads the layout <home>Defs/<DefName> ("DIF<table>V<version>.ini"). A missing or empty
    // layout raises "Cannot save table <table>: the layout file ..." at once.
    DifWriter(const QString &home, const QString &DefName, ProgressSink &progress);

    // No rows write no file: an earlier file of that name would be out of date, so it goes.
    static void removeOld(const QString &PathAndFile);

    // One line per row through the layout, each field placed at its start column and filled out
    // to its width; the field VersionNo holds the layout's version, whatever the row's column
    // holds, so every line reads back through that layout. `rowCount` is what the progress
    // window counts to. A value wider than its field, a date that is no date or a character
    // outside Windows-1252 stops the export with an error naming the table and the row, then
    // fieldRefusal() for the field and the value (quoted as the grid shows it to edit); a
    // failure of the database while reading the rows passes unchanged. Returns the number of
    // rows written.
    qint64 write(RowReader &rows, qint64 rowCount, const QString &PathAndFile);

    const QString &table() const { return m_table; }

private:
    QString m_table;
    QString m_defName;
    Layout m_layout;
    ProgressSink &m_progress;
};

} // namespace bm
