#pragma once

#include "DataStamp.h"
#include "Database.h"
#include "Error.h"
#include "StoredDate.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;

namespace bm {

class ProgressSink;

using Stmt = db::StatementPtr;
using DatabaseError = db::DatabaseError;

// The data module: the one connection to the herd database and its statement runner and probes.
// Everything goes through the database interface (db::Connection), whatever the engine. Its
// queries live where they are used: the statement runner qRunSQL in RunSQL; the scratch query
// qTemp in FieldExists and countRows (the writers' own qTemp in TableExport); the
// browse query qData is the grid's GridModel (TfrmMain::qData), linked to the grid by dsData
// (DataGrid::setDataSource).
class Tdm : public QObject
{
    Q_OBJECT
public:
    // `home` is the program folder; a trailing separator is added when missing.
    explicit Tdm(const QString &home, QObject *parent = nullptr);
    ~Tdm() override;

    const QString &home() const { return m_home; }
    // <home>Tembra.db, the herd database of the program folder.
    QString databasePath() const;

    // Names a herd database on a PostgreSQL server by a libpq connection URI or key=value
    // string; an empty `uri` (the default) is Tembra.db of the program folder. Takes effect at
    // the next ConnectDB. The layouts stay those of the program folder either way.
    void setServer(const QString &uri) { m_server = uri; }
    const QString &server() const { return m_server; }
    bool onServer() const { return !m_server.isEmpty(); }
    // Where the herd database is, for titles and messages: the file's path, or
    // user@host/database (schema) on a server. Never holds a password.
    QString databaseName() const;

    // Opens the herd database. Raises when it is missing or cannot be opened; it is never
    // created here (on a server: when its tables are missing). A database of an earlier build is
    // brought up to date first (upgradeSchema), shown on `progress` when given.
    void ConnectDB(ProgressSink *progress = nullptr);
    // Closes the connection.
    void close();
    bool isOpen() const { return m_connection != nullptr; }

    // The open connection; raises when the herd database is not open.
    db::Connection &connection() const;

    // Executes one statement; false when the statement fails (the error text is kept in
    // lastError()). A failure of the database itself raises DatabaseError, as everywhere.
    bool RunSQL(const QString &strSQL);
    // True when "SELECT <FieldName> FROM <TableName>" can be prepared.
    bool FieldExists(const QString &TableName, const QString &FieldName);
    // The number of rows `strSQL` returns; raises when it cannot be run. Asks the browse view
    // to re-read its rows afterwards, as every count does.
    qint64 GetRecordCount(const QString &strSQL);
    // The number of rows the SELECT statement `query` returns, without side effects; raises when
    // it cannot be run.
    qint64 countRows(const QString &query);
    const QString &lastError() const { return m_lastError; }

    // Runs `sql` (no rows); raises with the engine's message on failure, and DatabaseError when
    // the database itself failed. Returns the rows it changed.
    qint64 exec(const QString &sql);
    // Prepares `sql`; raises with the engine's message on failure, after "<context>: " when a
    // context is given, and DatabaseError when the database itself failed.
    Stmt prepare(const QString &sql, const QString &context = QString())
    {
        return connection().prepare(sql, context);
    }

    // The column names of a table in table order (empty when it does not exist).
    QStringList columns(const QString &table);
    // Declared types of a table's columns, upper case, in table order.
    QStringList columnTypes(const QString &table);
    qint64 rowCount(const QString &table);
    // True when any of the record-type tables holds a row (a quick look, not a count).
    bool holdsRecords();
    // True while a transaction is open on the connection.
    bool inTransaction() const { return connection().inTransaction(); }

    // Quotes an identifier for SQL: "name" with inner quotes doubled.
    static QString quoteId(const QString &name) { return db::Connection::quoteId(name); }

    // What changes the herd data, kept track of for undo. Every row inserted, updated or deleted
    // in a record-type table is counted as it happens; a transaction that committed such rows
    // raises the data generation (DataStamp) as it commits, Transaction::commit() and the
    // file-check lines through stampChanges(). A change committed outside a transaction is
    // stamped right after it, by exec() and RunSQL(), and before the generation is next read.
    // A statement that deletes a whole table goes row by row, so each row is seen; emptyTable()
    // is the one fast way, and counts what it removed.

    // Rows of the record-type tables changed since the open transaction began (or, outside one,
    // since the last statement ended).
    qint64 pendingChanges() const { return m_changes; }
    // Writes the data generation in the open transaction when it changed the herd data, naming
    // the change after the innermost ChangeSource. Raises DatabaseError when it cannot be written.
    void stampChanges();
    // The generation of the herd database as committed; changes committed outside a transaction
    // are stamped first. Raises when it cannot be read.
    DataStamp dataStamp();
    // The stamps this connection has written for the undo point `point`.
    qint64 stampsFor(const QString &point) const { return m_pointStamps.value(point); }
    // Deletes every row of `table` in one step, inside the open transaction; the rows count as
    // changed.
    void emptyTable(const QString &table);

    // A further authorizer for the statements prepared while it is set (the file check's rules):
    // it may deny an action; the reason it gives in `why` is kept for deniedReason().
    using StatementRules = int (*)(void *context, int action, const char *, const char *,
                                   const char *, const char *, QString &why);
    void setStatementRules(StatementRules rules, void *context);
    // Why the rules last denied a statement (empty when they did not).
    const QString &deniedReason() const { return m_denied; }

Q_SIGNALS:
    // The browse query should close and re-open with its current statement.
    void browseReopenRequested();

private:
    friend class ChangeSource;
    // The SQLite handle the changes are counted on.
    sqlite3 *handle() const;
    // Installs the hooks that count the changes to the herd data.
    void trackChanges();
    // Stamps changes that were committed without a stamp, in a transaction of its own.
    void stampUnstamped();
    static void onUpdate(void *self, int op, const char *db, const char *table, qint64);
    static int onCommit(void *self);
    static void onRollback(void *self);
    static int authorize(void *self, int action, const char *a, const char *b, const char *db,
                         const char *trigger);

    QString m_home;
    QString m_server;
    std::unique_ptr<db::Connection> m_connection;
    QString m_lastError;

    qint64 m_changes = 0;     // herd rows changed in the open transaction
    bool m_stamped = false;   // the open transaction has written its stamp
    QString m_stampPoint;     // ... for this undo point
    bool m_unstamped = false; // changes were committed without a stamp
    bool m_allowTruncate = false;
    QByteArray m_dropping;                        // the table the statement being prepared drops
    QList<std::pair<QString, QString>> m_sources; // ChangeSource: what and which undo point
    QHash<QString, qint64> m_pointStamps;
    StatementRules m_rules = nullptr;
    void *m_rulesContext = nullptr;
    QString m_denied;
};

// Names the changes committed on `dm` while it lives ("Import "herd.104"", "Edit of table 104"),
// and the undo point they belong to when the command is kept for undo. The innermost one counts.
class ChangeSource
{
public:
    ChangeSource(Tdm &dm, const QString &change, const QString &point = QString());
    ~ChangeSource();
    ChangeSource(const ChangeSource &) = delete;
    ChangeSource &operator=(const ChangeSource &) = delete;

private:
    Tdm &m_dm;
};

// One transaction for one command: commits in commit(), rolls back when destroyed before.
// Writes the data generation as it commits when the transaction changed the herd data.
class Transaction : public db::Transaction
{
public:
    explicit Transaction(Tdm &dm)
        : db::Transaction(dm.connection())
        , m_dm(dm)
    {}
    void commit()
    {
        m_dm.stampChanges();
        db::Transaction::commit();
    }

private:
    Tdm &m_dm;
};

// "<month>/<day>/<year>" without leading zeros.
QString USADate(const QDate &s);
// The database's date literal: '2021-03-05' (ISO text, as Date columns hold it).
QString SQLDate(const QDate &s);
// ISO text of a date, four-digit year: "0999-01-31".
QString isoDate(const QDate &d);

} // namespace bm
