#pragma once

#include "Database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bm::db {

// The herd database in one SQLite file: the embedded engine.
class SqliteConnection final : public Connection
{
public:
    // Opens the database file `path`, which must exist; it is never created here. Raises Error
    // when the file is missing or is no database.
    explicit SqliteConnection(const QString &path);
    // Creates an empty database file at `path` (which must not exist). Raises Error on failure.
    static void createFile(const QString &path);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    Engine engine() const override { return Engine::SQLite; }
    QString displayName() const override;

    StatementPtr prepare(const QString &sql, const QString &context = QString()) override;
    StatementPtr prepareFirst(QString &script) override;

    void begin(Access access = Access::Write) override;
    void commit() override;
    void rollback() noexcept override;
    bool inTransaction() const override;

    void guardScript(bool on) override;
    void setBusyCallback(std::function<void()> callback) override;
    qint64 totalChanges() const override;
    void addFunction(const QString &name, int arguments, TextFunction function) override;

    std::unique_ptr<RowSink> rowSink(const QString &table, const QStringList &columns) override;

    QStringList tables() override;
    QList<Column> columns(const QString &table) override;

    QString columnType(ColumnKind kind) const override;
    QString daysBetween(const QString &later, const QString &earlier) const override;
    QString rowKey() const override;
    QString caseless() const override;

    // For the SQLite engine's own files (schema, compaction, write-behind, kept states).
    sqlite3 *handle() const { return m_db; }
    // An authorizer of the statements prepared on this connection (SQLite's action codes and
    // verdicts), asked after the script guard; null for none.
    using Authorizer = int (*)(void *context, int action, const char *, const char *, const char *,
                               const char *);
    void setAuthorizer(Authorizer authorizer, void *context);
    const QString &path() const { return m_path; }

    // Raises DatabaseError when `rc` is a failure of the database itself.
    void raiseIfDatabaseFailure(int rc) const;
    // Raises DatabaseError when a transaction is open but SQLite has already rolled it back (it
    // does so by itself after a full disk, an I/O error, ...): every statement would otherwise
    // commit on its own.
    void checkTransaction() const;
    // SQLite's message for the last failure on this connection.
    QString lastMessage() const;

private:
    // Runs `sql` without the transaction check: BEGIN, COMMIT, ROLLBACK.
    void run(const char *sql);
    // Sets SQLite's authorizer to the script guard and the authorizer given, or to none.
    void installAuthorizer();

    QString m_path;
    sqlite3 *m_db = nullptr;
    bool m_transaction = false; // begin() ran and neither commit() nor rollback() since
    std::function<void()> m_busy;
    bool m_guarded = false;
    Authorizer m_authorizer = nullptr;
    void *m_authorizerContext = nullptr;
};

// The SQLite handle of `connection`; raises when the herd database is on another engine. For
// the SQLite engine's own files.
sqlite3 *sqliteHandle(const Connection &connection);

// True when `rc` (a primary or extended SQLite result code) is a failure of the database itself:
// it is full, cannot be read or written, is read-only, locked, damaged, or memory ran out. Any
// other failure (a constraint, a type mismatch, a statement the database refuses or an
// authorizer denies) belongs to the statement and its data.
bool isDatabaseFailure(int rc);
// What happened, in the user's words: "database or disk is full", "the herd database is
// read-only", ... `db` adds the system's own error for an I/O error (may be null).
QString databaseFailureCause(int rc, sqlite3 *db);

} // namespace bm::db
