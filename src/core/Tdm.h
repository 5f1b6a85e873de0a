#pragma once

#include <QDate>
#include <QLocale>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace bm {

class ProgressSink;

// Finalizes a prepared statement when it goes out of scope.
struct StmtDeleter
{
    void operator()(sqlite3_stmt *stmt) const;
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// The data module: the one connection to the herd database <home>Tembra.db and its statement
// runner and probes. Bulk paths use the raw SQLite handle with prepared statements.
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

    // Executes one statement; false on any failure (the error text is kept in lastError()).
    bool RunSQL(const QString &strSQL);
    // True when "SELECT <FieldName> FROM <TableName>" can be prepared.
    bool FieldExists(const QString &TableName, const QString &FieldName);
    // The number of rows `strSQL` returns; raises when it cannot be run. Asks the browse view
    // to re-read its rows afterwards, as every count does.
    qint64 GetRecordCount(const QString &strSQL);
    const QString &lastError() const { return m_lastError; }

    // Runs `sql` (no rows) on the raw handle; raises with SQLite's message on failure.
    void exec(const QString &sql);
    // Prepares `sql` on the raw handle; raises with SQLite's message on failure.
    Stmt prepare(const QString &sql);
    // SQLite's message for the last failure on the raw handle.
    QString sqliteError() const;

    // The column names of a table in table order (empty when it does not exist).
    QStringList columns(const QString &table);
    // Declared types of a table's columns, upper case, in table order.
    QStringList columnTypes(const QString &table);
    qint64 rowCount(const QString &table);

    // Quotes an identifier for SQL: "name" with inner quotes doubled.
    static QString quoteId(const QString &name);

Q_SIGNALS:
    // The browse query should close and re-open with its current statement.
    void browseReopenRequested();

private:
    QString m_home;
    QString m_connectionName;
    QSqlDatabase m_db;
    QString m_lastError;
};

// One transaction for one command: commits in commit(), rolls back when destroyed before.
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

// True when an SQLite result code (primary or extended) is a failure of the database itself:
// disk full, I/O error, read-only, locked or busy, out of memory, corrupt or not a database, or
// the file cannot be opened. Any other failure is the statement's own (its text or its data).
bool isDatabaseFailure(int resultCode);

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
