// Bringing a herd database of an earlier build up to date: text columns that compare with
// regard to case are rebuilt with COLLATE NOCASE.
#include "SchemaUpgrade.h"

#include "Error.h"
#include "ProgressSink.h"
#include "RecordTypes.h"
#include "SqliteConnection.h"
#include "Tdm.h"

#include <sqlite3.h>

#include <algorithm>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

struct ColumnInfo
{
    QString name;
    QString type; // as declared
    bool notNull = false;
    QString defaultValue; // a null QString when the column has no default
    int pk = 0;           // position in the primary key, 0 when not part of it
    QString collation;
};

QList<ColumnInfo> columnInfo(Tdm &dm, const QString &table)
{
    QList<ColumnInfo> columns;
    Stmt stmt = dm.prepare(
            uR"(SELECT name, type, "notnull", dflt_value, pk FROM pragma_table_info(?1))"_s);
    stmt->bindText(1, table);
    while (stmt->next()) {
        ColumnInfo c;
        c.name = stmt->string(0);
        c.type = stmt->string(1);
        c.notNull = stmt->integer(2) != 0;
        if (!stmt->isNull(3))
            c.defaultValue = stmt->string(3);
        c.pk = int(stmt->integer(4));
        columns << c;
    }
    const QByteArray t = table.toUtf8();
    stmt.reset();
    for (ColumnInfo &c : columns) {
        const char *collation = nullptr;
        if (sqlite3_table_column_metadata(db::sqliteHandle(dm.connection()), "main", t.constData(),
                                          c.name.toUtf8().constData(), nullptr, &collation, nullptr,
                                          nullptr, nullptr)
            != SQLITE_OK)
            throw Error(QString::fromUtf8(sqlite3_errmsg(db::sqliteHandle(dm.connection()))));
        c.collation = QString::fromUtf8(collation ? collation : "BINARY");
    }
    return columns;
}

bool isText(const ColumnInfo &c)
{
    return c.type.trimmed().compare(u"TEXT"_s, Qt::CaseInsensitive) == 0;
}

bool isNoCase(const QString &collation)
{
    return collation.compare(u"NOCASE"_s, Qt::CaseInsensitive) == 0;
}

bool needsUpgrade(const QList<ColumnInfo> &columns)
{
    return std::any_of(columns.cbegin(), columns.cend(),
                       [](const ColumnInfo &c) { return isText(c) && !isNoCase(c.collation); });
}

// The table `name` with the columns of `columns`, TEXT columns comparing without regard to
// case and everything else as it was declared.
QString createStatement(const QString &name, const QList<ColumnInfo> &columns)
{
    QStringList defs;
    QList<ColumnInfo> key;
    for (const ColumnInfo &c : columns) {
        QString def = Tdm::quoteId(c.name);
        if (!c.type.isEmpty())
            def += u' ' + c.type;
        if (isText(c))
            def += u" COLLATE NOCASE"_s;
        else if (c.collation.compare(u"BINARY"_s, Qt::CaseInsensitive) != 0)
            def += u" COLLATE "_s + Tdm::quoteId(c.collation);
        if (c.notNull)
            def += u" NOT NULL"_s;
        if (!c.defaultValue.isNull())
            def += u" DEFAULT ("_s + c.defaultValue + u')';
        defs << def;
        if (c.pk > 0)
            key << c;
    }
    if (!key.isEmpty()) {
        std::sort(key.begin(), key.end(), [](const auto &a, const auto &b) { return a.pk < b.pk; });
        QStringList names;
        for (const ColumnInfo &c : std::as_const(key))
            names << Tdm::quoteId(c.name);
        defs << u"PRIMARY KEY ("_s + names.join(u", "_s) + u')';
    }
    return u"CREATE TABLE %1 (%2)"_s.arg(Tdm::quoteId(name), defs.join(u", "_s));
}

// The statements that make the indexes and triggers of `table` again.
QStringList dependentObjects(Tdm &dm, const QString &table)
{
    QStringList statements;
    Stmt stmt = dm.prepare(u"SELECT sql FROM sqlite_master WHERE type IN ('index', 'trigger') "
                           "AND tbl_name = ?1 AND sql IS NOT NULL ORDER BY type, rowid"_s);
    stmt->bindText(1, table);
    while (stmt->next())
        statements << stmt->string(0);
    return statements;
}

// Renaming a table leaves the views and triggers that name it alone while this lives, so the
// new table takes the old one's place under its name.
class LegacyAlterTable
{
public:
    explicit LegacyAlterTable(Tdm &dm)
        : m_dm(dm)
    {
        m_dm.exec(u"PRAGMA legacy_alter_table = ON"_s);
    }
    ~LegacyAlterTable()
    {
        try {
            m_dm.exec(u"PRAGMA legacy_alter_table = OFF"_s);
        } catch (const Error &) {
            // The setting belongs to this connection only; nothing is stored.
        }
    }
    LegacyAlterTable(const LegacyAlterTable &) = delete;
    LegacyAlterTable &operator=(const LegacyAlterTable &) = delete;

private:
    Tdm &m_dm;
};

} // namespace

bool upgradeSchema(Tdm &dm, ProgressSink &progress)
{
    // A server database has been made with case-insensitive text from its first build.
    if (dm.connection().engine() != db::Engine::SQLite)
        return false;
    if (sqlite3_db_readonly(db::sqliteHandle(dm.connection()), "main") == 1)
        return false;
    QStringList tables = recordTypeCodes();
    tables << u"MergeCow"_s;
    QList<std::pair<QString, QList<ColumnInfo>>> plans;
    for (const QString &table : std::as_const(tables)) {
        const QList<ColumnInfo> columns = columnInfo(dm, table);
        if (needsUpgrade(columns))
            plans.append({table, columns});
    }
    if (plans.isEmpty())
        return false;

    HideProgressAtEnd hide(progress);
    progress.show();
    progress.setStatus(u"Updating Database"_s);
    progress.setMaximum(plans.size());
    progress.setPosition(0);
    LegacyAlterTable legacy(dm);
    Transaction transaction(dm);
    for (const auto &[table, columns] : std::as_const(plans)) {
        progress.setRecords(QString::number(dm.rowCount(table)));
        progress.repaint();
        const QStringList dependents = dependentObjects(dm, table);
        const QString copy = table + u"_upgrade"_s;
        QStringList names;
        for (const ColumnInfo &c : columns)
            names << Tdm::quoteId(c.name);
        const QString list = names.join(u", "_s);
        dm.exec(u"DROP TABLE IF EXISTS "_s + Tdm::quoteId(copy));
        dm.exec(createStatement(copy, columns));
        dm.exec(u"INSERT INTO %1 (rowid, %2) SELECT rowid, %2 FROM %3"_s.arg(
                Tdm::quoteId(copy), list, Tdm::quoteId(table)));
        dm.exec(u"DROP TABLE "_s + Tdm::quoteId(table));
        dm.exec(u"ALTER TABLE %1 RENAME TO %2"_s.arg(Tdm::quoteId(copy), Tdm::quoteId(table)));
        for (const QString &sql : dependents)
            dm.exec(sql);
        progress.step();
    }
    transaction.commit();
    return true;
}

} // namespace bm
