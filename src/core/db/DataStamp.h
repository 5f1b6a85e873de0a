#pragma once

#include <QString>

#include <optional>

struct sqlite3;

namespace bm {

// The data generation of a herd database: a number kept in the database itself (the one row of
// the table DataGeneration) that every committed change to the record-type tables raises by one,
// in the same transaction as the change, together with a word on what made it. It travels with
// the data: a copy of the database (the state kept for undo) holds the generation of the data it
// holds. Undo writes down the generation of the data its command left behind, and so tells
// whether anything changed the data since. Plain SQL, so another engine can keep it the same way.
struct DataStamp
{
    qint64 generation = 0;
    QString change; // what made the last change: "Import "herd.104"", "Load Files"
    QString point;  // the undo point whose command made it; empty for a change not kept for undo
};

// Creates the table, at generation 0, when the database has none. Returns SQLite's result code.
int ensureGenerationTable(sqlite3 *db);

// The stamp of the main database open on `db`. A database without the table (made before it
// existed) is at generation 0. Nullopt, with the cause in `why`, when it cannot be read.
std::optional<DataStamp> readStamp(sqlite3 *db, QString *why = nullptr);

// Raises the generation by one, or sets it to `value`, naming the change, in the transaction open
// on `db` (the table is made when missing). Returns SQLite's result code.
int writeStamp(sqlite3 *db, const QString &change, const QString &point,
               std::optional<qint64> value = std::nullopt);

} // namespace bm
