#pragma once

#include "Cell.h"
#include "Error.h"
#include "RowReader.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The herd database as every command, the browsing and the writers see it: a connection, its
// prepared statements, a transaction guard, the failure classification, a bulk row sink and the
// dialect. Each engine implements it in files of its own; nothing above this folder calls an
// engine's library.
namespace bm::db {

enum class Engine { SQLite, PostgreSQL };

// What a transaction will do.
enum class Access { Read, Write };

// What one step of a statement did.
enum class Step {
    Row,     // a row is there to read
    Done,    // the statement has run to its end
    Refused, // the statement's own data failed (a constraint, a value the column refuses): its
             // effect is undone and refusal() says why; the transaction goes on
};

// A prepared statement. Parameters are written ?1, ?2, ... (or ?) in the SQL text whatever the
// engine, and count from 1; columns count from 0. A failure of the database itself raises
// DatabaseError from any call; so does a step once the engine has rolled back the command's
// transaction by itself.
class Statement : public RowReader
{
public:
    virtual void bindNull(int parameter) = 0;
    virtual void bindInteger(int parameter, qint64 value) = 0;
    virtual void bindReal(int parameter, double value) = 0;
    // The bytes are copied.
    virtual void bindText(int parameter, QByteArrayView utf8) = 0;
    void bindText(int parameter, const QString &text);
    // A date as the herd database holds dates; an invalid date binds null.
    void bindDate(int parameter, const QDate &date);
    // Null, a whole number, a real, a date or text (anything else as its text).
    void bindValue(int parameter, const QVariant &value);

    virtual Step step() = 0;
    // Makes the statement ready to run again; the bindings stay.
    virtual void reset() = 0;
    // The engine's words for the last Refused step.
    virtual QString refusal() const = 0;
    // Rows the last INSERT, UPDATE or DELETE run by this statement changed.
    virtual qint64 changes() const = 0;

    // Steps once: true on a row, false at the end; a refusal raises Error with its words.
    bool next() override;
    // Runs the statement to its end (rows are skipped) and resets it; a refusal raises Error.
    // Returns changes().
    qint64 run();
};
using StatementPtr = std::unique_ptr<Statement>;

// Stores rows of typed cells in one table by the engine's fastest path (SQLite: multi-row
// INSERTs; PostgreSQL: COPY). Rows are `width` cells each, in the order of the columns the
// sink was made for. Text cells point into the arena handed over with them.
class RowSink
{
public:
    virtual ~RowSink() = default;
    // How many rows insertRows takes best at once.
    virtual std::size_t runRows() const = 0;
    // Stores `rows` rows. False when the engine refused them: none of them stays, and the
    // caller stores them one by one to find the row at fault.
    virtual bool insertRows(const Cell *cells, std::size_t rows, const char *arena) = 0;
    // Stores one row. False when the engine refused it; refusal() says why.
    virtual bool insertRow(const Cell *cells, const char *arena) = 0;
    virtual QString refusal() const = 0;
    // Sends what is still buffered; the sink takes no rows after it. Before it, rows may not
    // yet be visible to statements on the same connection.
    virtual void finish() = 0;
};

// How a column's values compare for equality.
enum class Comparison {
    Exact,    // byte for byte
    Caseless, // text without regard to case
    Other,    // by a rule of the engine's or the user's own
};

// A function of text arguments that SQL can call: `arguments` holds one view per argument (a
// null one as an empty view); false gives null, true the text left in `result`. It must give
// one result for one set of arguments.
using TextFunction = std::function<bool(std::string &result, const std::string_view *arguments)>;

// A table's column as the herd database declares it.
struct Column
{
    QString name;
    QString declaredType; // as declared, upper case
    ColumnKind kind = ColumnKind::Unknown;
    Comparison comparison = Comparison::Exact;
};

class Connection
{
public:
    virtual ~Connection() = default;

    virtual Engine engine() const = 0;
    // Where the herd data is, for titles and messages (never with a password).
    virtual QString displayName() const = 0;

    // Prepares one statement. Raises Error with the engine's words (after "<context>: " when a
    // context is given) when the statement is wrong, DatabaseError when the database failed.
    virtual StatementPtr prepare(const QString &sql, const QString &context = QString()) = 0;
    // Prepares a SELECT whose rows are read once, in order, to their end (a save, a listing):
    // the engine may fetch them in batches, so memory stays flat however many there are. Inside
    // a transaction, other statements may run between its rows; outside one, until it has been
    // read to its end or destroyed, only statements that read.
    virtual StatementPtr prepareScan(const QString &sql, const QString &context = QString())
    {
        return prepare(sql, context);
    }
    // Prepares the first statement of `script` and moves `script` past it (and past blanks and
    // comments up to the next one); null when only blanks and comments are left.
    virtual StatementPtr prepareFirst(QString &script) = 0;
    // Runs the statements of `sql` in turn (rows they return are skipped); raises as prepare
    // and step do. Returns the rows they changed.
    qint64 exec(const QString &sql);

    // Begins a transaction. One that only reads takes no write lock, so it also runs on a
    // database that cannot be written.
    virtual void begin(Access access = Access::Write) = 0;
    virtual void commit() = 0;
    // Rolls back; never raises (what cannot be rolled back now the engine undoes on its own).
    virtual void rollback() noexcept = 0;
    virtual bool inTransaction() const = 0;

    // Called every so often while a statement runs, on the connection's own thread, so windows
    // can be painted during a long command; an empty function stops it. It may not run
    // statements on this connection.
    virtual void setBusyCallback(std::function<void()> callback) = 0;
    // Makes `function` callable in SQL on this connection as `name` with `arguments` arguments.
    // Raises Error where the engine cannot run the program's own code in its statements.
    virtual void addFunction(const QString &name, int arguments, TextFunction function) = 0;
    // Rows changed by every INSERT, UPDATE and DELETE run on this connection since it opened.
    virtual qint64 totalChanges() const = 0;

    // While on, a statement prepared on this connection (a user's script) may not begin, end or
    // mark transactions: it fails to prepare with the engine's words.
    virtual void guardScript(bool on) = 0;

    virtual std::unique_ptr<RowSink> rowSink(const QString &table, const QStringList &columns) = 0;

    // The tables of the herd data, and a table's columns in table order (empty when it does
    // not exist).
    virtual QStringList tables() = 0;
    virtual QList<Column> columns(const QString &table) = 0;

    // Dialect.
    // "name" with inner quotes doubled: the same on every engine.
    static QString quoteId(const QString &name);
    // The declared type of a column of a herd table holding `kind` (Integer, Real, Date or
    // Text); text columns compare without regard to case.
    virtual QString columnType(ColumnKind kind) const = 0;
    // Makes what columnType's types need available in the database (on a server, the
    // case-insensitive text type); raises when it cannot.
    virtual void prepareTables() {}
    // A date as an SQL literal of this engine.
    QString dateLiteral(const QDate &date) const;
    // The whole days from the date `earlier` to the date `later` (SQL expressions), as an
    // integer expression.
    virtual QString daysBetween(const QString &later, const QString &earlier) const = 0;
    // The name of a column that identifies a row of any table while nothing else changes it.
    virtual QString rowKey() const = 0;
    // Follows a text operand where it is compared or sorted without regard to case for every
    // letter, not only A to Z: SQLite names the program's own collation (registered on each
    // connection, never written into the schema, so the columns stay NOCASE for the sqlite3
    // shell and an index it makes keeps one order for every connection); empty on PostgreSQL,
    // whose citext columns compare so already.
    virtual QString caseless() const = 0;
};

// One transaction for one command: commits in commit(), rolls back when destroyed before.
class Transaction
{
public:
    explicit Transaction(Connection &connection, Access access = Access::Write);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace bm::db
