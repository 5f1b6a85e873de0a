#pragma once

#include <QString>

namespace bm {

class ProgressSink;

// Compacts the herd database at close: <home><SourceName>.db is copied compactly to a temporary
// file in the same folder (VACUUM INTO), then the compacted copy takes the database's name and
// the file as it was at close becomes <home><DestName>.db (an earlier backup is replaced). The
// database file is never missing: where the system can, the two files are exchanged in one step.
// The compacted file keeps the permissions of the file it replaces. A database that is a symbolic
// link stays one: the file it points to gets the compacted data (in one journaled step), and the
// backup is a copy of that file as it was at close.
// On any failure the database stays, or is put back, as it was at close, and the error is
// raised. Without a database file nothing is done (an existing backup is left alone) and the
// result is false. The caller closes every connection to the database first.
//
// With `progress`, the progress window shows "Compacting Database" and a gauge of the bytes the
// compacted copy has reached, kept painted while the copy is written; the caller hides it.
bool compactDatabase(const QString &home, const QString &SourceName, const QString &DestName,
                     ProgressSink *progress = nullptr);

} // namespace bm
