#include "Schema.h"

#include "Error.h"
#include "Layout.h"
#include "SqliteConnection.h"
#include "Tdm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString sqlTypeOf(FieldType type)
{
    switch (type) {
    case FieldType::Number:
        return u"INTEGER"_s;
    case FieldType::Float:
        return u"REAL"_s;
    case FieldType::Date:
        return u"DATE"_s;
    case FieldType::String:
        break;
    }
    return u"TEXT"_s;
}

ColumnKind kindOf(const QString &sqlType)
{
    if (sqlType == u"INTEGER"_s)
        return ColumnKind::Integer;
    if (sqlType == u"REAL"_s)
        return ColumnKind::Real;
    if (sqlType == u"DATE"_s)
        return ColumnKind::Date;
    return ColumnKind::Text;
}

// Versions of a record type that have a layout in Defs/, newest first.
QStringList layoutVersions(const QString &home, const QString &code)
{
    const QDir defs(defsFolder(home));
    const QRegularExpression re(u"^DIF%1V(.)\\.ini$"_s.arg(code),
                                QRegularExpression::CaseInsensitiveOption);
    QStringList versions;
    for (const QString &name : defs.entryList(QDir::Files)) {
        const auto m = re.match(name);
        if (m.hasMatch())
            versions << m.captured(1);
    }
    std::sort(versions.begin(), versions.end(), std::greater<>());
    return versions;
}

} // namespace

QString SchemaColumn::definition(const db::Connection &dialect) const
{
    return dialect.columnType(kindOf(sqlType));
}

QList<SchemaColumn> tableColumns(const QString &home, const QString &code)
{
    QStringList versions = layoutVersions(home, code);
    const QString current = currentVersion(home, code);
    if (!current.isEmpty()) {
        versions.removeAll(current);
        versions.prepend(current);
    }
    QList<SchemaColumn> columns;
    for (const QString &version : std::as_const(versions)) {
        const Layout layout = readLayout(home, layoutName(code, version));
        for (const FieldDef &f : layout) {
            const bool known = std::any_of(columns.cbegin(), columns.cend(), [&](const auto &c) {
                return c.name.compare(f.name, Qt::CaseInsensitive) == 0;
            });
            if (!known)
                columns.append({f.name, sqlTypeOf(f.type)});
        }
    }
    return columns;
}

QStringList schemaStatements(const QString &home, const db::Connection &dialect,
                             const QStringList &skip)
{
    QStringList statements;
    auto create = [&](const QString &table, const QList<SchemaColumn> &columns) {
        if (columns.isEmpty())
            throw Error(u"No record layout in \"%1\" describes the table %2"_s.arg(
                    QDir::toNativeSeparators(defsFolder(home)), table));
        if (skip.contains(table, Qt::CaseInsensitive))
            return;
        QStringList defs;
        for (const SchemaColumn &c : columns)
            defs << Tdm::quoteId(c.name) + u' ' + c.definition(dialect);
        statements << u"CREATE TABLE %1 (%2)"_s.arg(Tdm::quoteId(table), defs.join(u", "_s));
    };
    for (const RecordType &t : recordTypes())
        create(t.code, tableColumns(home, t.code));
    create(u"MergeCow"_s, tableColumns(home, u"102"_s));
    return statements;
}

int createTables(db::Connection &connection, const QString &home)
{
    connection.prepareTables();
    const QStringList statements = schemaStatements(home, connection, connection.tables());
    if (statements.isEmpty())
        return 0;
    db::Transaction transaction(connection);
    for (const QString &statement : statements)
        connection.exec(statement);
    transaction.commit();
    return int(statements.size());
}

bool createDatabase(const QString &home0)
{
    const QString home = home0.endsWith(u'/') ? home0 : home0 + u'/';
    const QString path = home + u"Tembra.db"_s;
    if (QFileInfo::exists(path))
        return false;
    // Build under a temporary name and rename at the end, so no half-made database is left.
    const QString temp = home + u"Tembra.db.new"_s;
    QFile::remove(temp);
    QString failure;
    try {
        db::SqliteConnection::createFile(temp);
        db::SqliteConnection connection(temp);
        createTables(connection, home);
    } catch (const Error &e) {
        failure = e.message();
    }
    if (failure.isEmpty() && !QFile::rename(temp, path))
        failure = u"the file cannot be renamed"_s;
    if (!failure.isEmpty()) {
        QFile::remove(temp);
        throw Error(u"Cannot create the herd database \"%1\": %2"_s.arg(
                QDir::toNativeSeparators(path), failure));
    }
    return true;
}

} // namespace bm
