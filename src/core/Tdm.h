#pragma once

#include "Database.h"
#include "Error.h"
#include "StoredDate.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace bm {

class ProgressSink;

using Stmt = db::StatementPtr;
using DatabaseError = db::DatabaseError;

// The data module: the one connection to the herd database and its statement runner and probes.
// Everything goes through the database interface (db::Connection), whatever the engine. Its
// queries live where they are used: the statement runner qRunSQL in RunSQL; the scratch query
// qTemp in FieldExists and countRows (the writers' own qTemp in DifWriter and CsvWriter); the
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

    // Opens the herd database. Raises when it is missing or cannot be opened; it is never
    // created here. A database of an earlier build is brought up to date first (upgradeSchema),
    // shown on `progress` when given.
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
    qint64 exec(const QString &sql) { return connection().exec(sql); }
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

Q_SIGNALS:
    // The browse query should close and re-open with its current statement.
    void browseReopenRequested();

private:
    QString m_home;
    std::unique_ptr<db::Connection> m_connection;
    QString m_lastError;
};

// One transaction for one command: commits in commit(), rolls back when destroyed before.
class Transaction : public db::Transaction
{
public:
    explicit Transaction(Tdm &dm)
        : db::Transaction(dm.connection())
    {}
};

// "<month>/<day>/<year>" without leading zeros.
QString USADate(const QDate &s);
// The database's date literal: '2021-03-05' (ISO text, as Date columns hold it).
QString SQLDate(const QDate &s);
// ISO text of a date, four-digit year: "0999-01-31".
QString isoDate(const QDate &d);

} // namespace bm
