#pragma once

#include <QString>
#include <QStringList>

namespace bm {

struct SchemaColumn
{
    QString name;
    QString sqlType; // TEXT, INTEGER, REAL or DATE
};

// The columns of a record type's table: the fields of the current version's layout in layout
// order, followed by the fields that only older versions have (newest version first).
QList<SchemaColumn> tableColumns(const QString &home, const QString &code);

// The statements that create every table of a fresh herd database (the twelve record types and
// MergeCow, which has the columns of table 102).
QStringList schemaStatements(const QString &home);

// Creates <home>Tembra.db from <home>Defs/ when it does not exist; an existing database is never
// replaced. Returns true when it created one. Raises on failure (a half-made file is removed).
bool createDatabase(const QString &home);

} // namespace bm
