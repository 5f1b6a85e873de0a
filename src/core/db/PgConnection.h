#pragma once

#include "Database.h"

#include <QSet>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace bm::db {

// The herd database on a PostgreSQL server, named by a libpq connection URI. Tables live in the
// first schema of the connection's search path; text columns are citext, so text compares
// without regard to case for every letter the server's locale knows.
class PgConnection final : public Connection
{
public:
    // Connects; raises DatabaseError (a failure of the database itself) with the server's words
    // when the server cannot be reached or refuses the login.
    explicit PgConnection(const QString &uri);
    ~PgConnection() override;
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    Engine engine() const override { return Engine::PostgreSQL; }
    QString displayName() const override;
    // user@host/database (schema) as a connection string names it, without connecting; never
    // the password. The string itself when it cannot be read.
    static QString displayNameOf(const QString &uri);

    StatementPtr prepare(const QString &sql, const QString &context = QString()) override;
    StatementPtr prepareScan(const QString &sql, const QString &context = QString()) override;
    StatementPtr prepareFirst(QString &script) override;

    void begin(Access access = Access::Write) override;
    void commit() override;
    void rollback() noexcept override;
    bool inTransaction() const override;

    void guardScript(bool on) override { m_guard = on; }
    void setBusyCallback(std::function<void()> callback) override { m_busy = std::move(callback); }
    qint64 totalChanges() const override { return m_changes; }
    void addFunction(const QString &name, int arguments, TextFunction function) override;

    std::unique_ptr<RowSink> rowSink(const QString &table, const QStringList &columns) override;

    QStringList tables() override;
    QList<Column> columns(const QString &table) override;

    QString columnType(ColumnKind kind) const override;
    void prepareTables() override;
    QString daysBetween(const QString &later, const QString &earlier) const override;
    QString rowKey() const override;
    QString caseless() const override;

    // For the PostgreSQL engine's own files.
    PGconn *handle() const { return m_conn; }
    // The schema the herd tables live in.
    const QString &schema() const { return m_schema; }
    // The user the server knows this connection by.
    QString user() const;

    // One bulk command at a time per herd database (its schema): takes the server's session
    // lock for it, which goes with the connection however the command ends, and names this
    // command, this computer and the time for whoever is refused. Returns an empty string when
    // taken, else the refusal naming who holds it.
    QString takeBulkLock(const QString &command, const QString &host);
    // Lets the lock go again (a window's command that has finished).
    void releaseBulkLock();
    // True when a connection of this process holds the bulk lock of some herd database: a
    // command run inside it (the command-line tool's) takes it no second time.
    static bool bulkLockHeld();
    // False when the login may only read the herd tables.
    bool mayWrite();

    // Runs `sql` (any number of statements, no parameters, no rows wanted); raises as exec does.
    void execScript(const QString &sql);
    // Raises DatabaseError for a result that is a failure of the database itself, or for a
    // connection that is gone; otherwise returns the server's message for a failed result
    // (empty when `result` succeeded).
    QString check(const PGresult *result) const;
    // Raises DatabaseError when the transaction has been aborted by the server.
    void checkTransaction() const;
    // True for the type OID of citext.
    bool isCitext(unsigned oid) const { return m_citext.contains(oid); }
    // A name for a new prepared statement or cursor on this connection.
    QByteArray nextName(const char *prefix);

private:
    friend class PgStatement;
    void loadCitextTypes();

    PGconn *m_conn = nullptr;
    QString m_schema;
    QSet<unsigned> m_citext;
    quint64 m_names = 0;
    bool m_guard = false;
    std::function<void()> m_busy;
    bool m_bulkLock = false;    // this connection holds the bulk lock
    qint64 m_changes = 0;       // rows changed by statements run here
    bool m_transaction = false; // begin() ran and neither commit() nor rollback() since
};

// ?1, ?2 ... and ? outside strings, quoted names and comments, as $1, $2 ...; the word rowid,
// the row key the commands use, as ctid (the row's place), which the statements read and bind
// as one integer.
QString pgPlaceholders(const QString &sql);
// The statements of a script, split at semicolons outside strings, quoted names, dollar quotes
// and comments; each without its semicolon. Blank statements are left out.
QStringList pgSplitScript(const QString &script);

} // namespace bm::db
