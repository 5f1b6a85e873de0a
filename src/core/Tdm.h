#pragma once

#include "Error.h"

#include <QByteArrayView>
#include <QDate>
#include <QLocale>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>

#include <sqlite3.h>

namespace bm {

class ProgressSink;

// Finalizes a prepared statement when it goes out of scope.
struct StmtDeleter
{
    void operator()(sqlite3_stmt *stmt) const;
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// The data module: the one connection to the herd database <home>Tembra.db and its statement
// runner and probes. Bulk paths use the raw SQLite handle with prepared statements. Its queries
// live where they are used: the statement runner qRunSQL in RunSQL; the scratch query qTemp in
// FieldExists and countRows (the writers' own qTemp in DifWriter and CsvWriter); the browse query
// qData is the grid's GridModel (TfrmMain::qData), linked to the grid by dsData
// (DataGrid::setDataSource).
class Tdm : public QObject
{
    Q_OBJECT
public:
    // `home` is the program folder; a trailing separator is added when missing.
    explicit Tdm(const QString &home, QObject *parent = nullptr);
    ~Tdm() override;

    const QString &home() const { return m_home; }
    QString databasePath() const;

    // Opens <home>Tembra.db. Raises when the file is missing or cannot be opened; the database
    // is never created here. A database of an earlier build is brought up to date first
    // (upgradeSchema), shown on `progress` when given.
    void ConnectDB(ProgressSink *progress = nullptr);
    // Closes the connection and every query on it.
    void close();
    bool isOpen() const;

    QSqlDatabase &db() { return m_db; }
    sqlite3 *handle() const;

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

    // Runs `sql` (no rows) on the raw handle; raises with SQLite's message on failure, and
    // DatabaseError when the database itself failed.
    void exec(const QString &sql);
    // Prepares `sql` on the raw handle; raises with SQLite's message on failure, after
    // "<context>: " when a context is given, and DatabaseError when the database itself failed.
    Stmt prepare(const QString &sql, const QString &context = QString());
    // Steps a statement once. Returns SQLITE_ROW or SQLITE_DONE, or the result code of a
    // failure of the statement's own data (a constraint, a value the column refuses), which
    // the caller reports. A failure of the database itself raises DatabaseError; so does any
    // step once SQLite has rolled back the command's transaction, before anything is run.
    int step(sqlite3_stmt *stmt);
    // Raises DatabaseError when a Transaction is open on this connection but SQLite has
    // already rolled it back (it does so by itself after a full disk, an I/O error, ...).
    // Every statement would otherwise commit on its own.
    void checkTransaction();
    // SQLite's message for the last failure on the raw handle.
    QString sqliteError() const;

    // The column names of a table in table order (empty when it does not exist).
    QStringList columns(const QString &table);
    // Declared types of a table's columns, upper case, in table order.
    QStringList columnTypes(const QString &table);
    qint64 rowCount(const QString &table);
    // True when any of the record-type tables holds a row (a quick look, not a count).
    bool holdsRecords();
    // True while a transaction is open on the connection.
    bool inTransaction() const;

    // Quotes an identifier for SQL: "name" with inner quotes doubled.
    static QString quoteId(const QString &name);

Q_SIGNALS:
    // The browse query should close and re-open with its current statement.
    void browseReopenRequested();

private:
    friend class Transaction;
    // Raises DatabaseError when `rc` is a failure of the database itself.
    void raiseIfDatabaseFailure(int rc);
    // exec without the transaction check, for BEGIN, COMMIT and ROLLBACK.
    void run(const QString &sql);

    QString m_home;
    QString m_connectionName;
    QSqlDatabase m_db;
    sqlite3 *m_handle = nullptr; // the driver's handle while the connection is open
    int m_transactions = 0;      // Transactions open on this connection
    QString m_lastError;
};

// The text of column `column` of the current row of `stmt` (UTF-8, as SQLite holds it). Inline:
// it is on the path of every cell a writer writes.
inline QByteArrayView columnText(sqlite3_stmt *stmt, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(stmt, column));
}

// One transaction for one command: commits in commit(), rolls back when destroyed before.
// While it is open, Tdm::step and Tdm::exec refuse to run once SQLite has rolled it back.
class Transaction
{
public:
    explicit Transaction(Tdm &dm);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Tdm &m_dm;
    bool m_done = false;
};

// True when `rc` (a primary or extended SQLite result code) is a failure of the database itself:
// it is full, cannot be read or written, is read-only, locked, damaged, or memory ran out. Any
// other failure (a constraint, a type mismatch, a statement the database refuses or an
// authorizer denies) belongs to the statement and its data.
bool isDatabaseFailure(int rc);
// What happened, in the user's words: "database or disk is full", "the herd database is
// read-only", ... `db` adds the system's own error for an I/O error (may be null).
QString databaseFailureCause(int rc, sqlite3 *db);

// A failure of the database itself. It ends the command; the command's Transaction is rolled
// back as the error leaves it, so the herd data stays as it was before the command.
class DatabaseError : public Error
{
public:
    explicit DatabaseError(const QString &cause);
    const QString &cause() const { return m_cause; }

private:
    QString m_cause;
};

// "<month>/<day>/<year>" without leading zeros.
QString USADate(const QDate &s);
// The database's date literal: '2021-03-05' (ISO text, as Date columns hold it).
QString SQLDate(const QDate &s);
// ISO text of a date, four-digit year: "0999-01-31".
QString isoDate(const QDate &d);
// The locale's short date form with the year always in four digits, so a date shown, typed or
// written to a file is never ambiguous about its century.
QString shortDateFormat(const QLocale &locale = QLocale());

} // namespace bm
