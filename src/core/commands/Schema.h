#pragma once

#include <QString>
#include <QStringList>

namespace bm {

namespace db {
class Connection;
}

struct SchemaColumn
{
    QString name;
    QString sqlType; // TEXT, INTEGER, REAL or DATE
    // The column's definition after its quoted name in the engine's dialect: text compares and
    // sorts without regard to case ("TEXT COLLATE NOCASE" in SQLite, CITEXT on a server).
    QString definition(const db::Connection &dialect) const;
};

// The columns of a record type's table: the fields of the current version's layout in layout
// order, followed by the fields that only older versions have (newest version first).
QList<SchemaColumn> tableColumns(const QString &home, const QString &code);

// The statements that create every table of a fresh herd database (the twelve record types and
// MergeCow, which has the columns of table 102) in the engine's dialect, leaving out the tables
// named in `skip`.
QStringList schemaStatements(const QString &home, const db::Connection &dialect,
                             const QStringList &skip = {});

// Creates the tables that the database does not have yet, in one transaction; an existing table
// is never replaced. On a server, the case-insensitive text type is made available first.
// Returns the number of tables created.
int createTables(db::Connection &connection, const QString &home);

// Creates <home>Tembra.db from <home>Defs/ when it does not exist; an existing database is never
// replaced. Returns true when it created one. Raises on failure (a half-made file is removed).
bool createDatabase(const QString &home);

} // namespace bm
