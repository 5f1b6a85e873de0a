#include "DataStamp.h"

#include <sqlite3.h>

#include <memory>

namespace bm {

namespace {

constexpr const char *kCreate = "CREATE TABLE IF NOT EXISTS DataGeneration ("
                                "Id INTEGER PRIMARY KEY CHECK (Id = 1), "
                                "Generation INTEGER NOT NULL, Change TEXT, Point TEXT)";

struct Finalize
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Statement prepare(sqlite3 *db, const char *sql, int &rc)
{
    sqlite3_stmt *raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw);
}

QString textOf(sqlite3_stmt *stmt, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                             sqlite3_column_bytes(stmt, column));
}

void bindText(sqlite3_stmt *stmt, int index, const QString &text)
{
    if (text.isEmpty()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

int ensureGenerationTable(sqlite3 *db)
{
    return sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
}

std::optional<DataStamp> readStamp(sqlite3 *db, QString *why)
{
    int rc = SQLITE_OK;
    {
        const Statement exists = prepare(
                db,
                "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'DataGeneration'",
                rc);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(exists.get());
        if (rc == SQLITE_DONE)
            return DataStamp{};
    }
    Statement stmt;
    if (rc == SQLITE_ROW)
        stmt = prepare(db, "SELECT Generation, Change, Point FROM main.DataGeneration WHERE Id = 1",
                       rc);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE)
        return DataStamp{};
    if (rc != SQLITE_ROW) {
        if (why)
            *why = QString::fromUtf8(sqlite3_errmsg(db));
        return std::nullopt;
    }
    return DataStamp{sqlite3_column_int64(stmt.get(), 0), textOf(stmt.get(), 1),
                     textOf(stmt.get(), 2)};
}

int writeStamp(sqlite3 *db, const QString &change, const QString &point,
               std::optional<qint64> value)
{
    int rc = ensureGenerationTable(db);
    if (rc != SQLITE_OK)
        return rc;
    const Statement stmt
            = prepare(db,
                      "INSERT INTO main.DataGeneration (Id, Generation, Change, Point) "
                      "VALUES (1, coalesce(?3, 1), ?1, ?2) ON CONFLICT (Id) DO UPDATE SET "
                      "Generation = coalesce(?3, Generation + 1), Change = ?1, Point = ?2",
                      rc);
    if (rc != SQLITE_OK)
        return rc;
    bindText(stmt.get(), 1, change);
    bindText(stmt.get(), 2, point);
    if (value)
        sqlite3_bind_int64(stmt.get(), 3, *value);
    rc = sqlite3_step(stmt.get());
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace bm
