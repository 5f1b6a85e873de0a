#include "SqliteConnection.h"

#include "StoredDate.h"
#include "TextFold.h"
#include "WriteBehind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/resource.h>

namespace bm::db {

using namespace Qt::StringLiterals;

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr const char *kCaselessCollation = "bm_nocase"; // named by caseless()

QByteArrayView valueText(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return QByteArrayView(text, sqlite3_value_bytes(value));
}

// Text without regard to case for every letter (TextFold.h): the collation our statements name,
// and LIKE, which is stored nowhere, replaced on this connection. The NOCASE of the columns is
// left as the sqlite3 shell knows it, so an index made by either keeps one order for both.
void registerCaseless(sqlite3 *db)
{
    sqlite3_create_collation_v2(
            db, kCaselessCollation, SQLITE_UTF8, nullptr,
            [](void *, int lengthA, const void *a, int lengthB, const void *b) {
                return compareFolded(QByteArrayView(static_cast<const char *>(a), lengthA),
                                     QByteArrayView(static_cast<const char *>(b), lengthB));
            },
            nullptr);
    // "A LIKE B ESCAPE C" is like(B, A, C).
    const auto like = [](sqlite3_context *context, int count, sqlite3_value **values) {
        for (int i = 0; i < count; ++i)
            if (sqlite3_value_type(values[i]) == SQLITE_NULL)
                return; // Null
        char32_t escape = 0;
        if (count == 3) {
            const QList<uint> e = QString::fromUtf8(valueText(values[2])).toUcs4();
            if (e.size() != 1) {
                sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
                return;
            }
            escape = char32_t(e.first());
        }
        sqlite3_result_int(context,
                           likeFolded(valueText(values[0]), valueText(values[1]), escape) ? 1 : 0);
    };
    for (const int arguments : {2, 3})
        sqlite3_create_function(db, "like", arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                like, nullptr, nullptr);
}
// Rows of one multi-row INSERT of the row sink: large enough that SQLite's per-statement work
// is spread thin, small enough that a refused run is cheap to go through again row by row.
constexpr std::size_t kRunRows = 32;

struct StmtDeleter
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

class SqliteStatement final : public Statement
{
public:
    SqliteStatement(const SqliteConnection &connection, sqlite3_stmt *stmt)
        : m_connection(connection)
        , m_stmt(stmt)
    {}

    void bindNull(int parameter) override { sqlite3_bind_null(m_stmt.get(), parameter); }
    void bindInteger(int parameter, qint64 value) override
    {
        sqlite3_bind_int64(m_stmt.get(), parameter, value);
    }
    void bindReal(int parameter, double value) override
    {
        sqlite3_bind_double(m_stmt.get(), parameter, value);
    }
    void bindText(int parameter, QByteArrayView utf8) override
    {
        // An empty view may have no data pointer; SQLite takes a null pointer as NULL.
        sqlite3_bind_text(m_stmt.get(), parameter, utf8.data() ? utf8.data() : "", int(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    using Statement::bindText;

    Step step() override
    {
        m_connection.checkTransaction();
        const int rc = sqlite3_step(m_stmt.get());
        if (rc == SQLITE_ROW)
            return Step::Row;
        if (rc == SQLITE_DONE) {
            m_changes = sqlite3_changes64(m_connection.handle());
            return Step::Done;
        }
        m_connection.raiseIfDatabaseFailure(rc);
        // The statement's own failure; SQLite may still have ended the transaction with it.
        m_refusal = m_connection.lastMessage();
        sqlite3_reset(m_stmt.get());
        m_connection.checkTransaction();
        return Step::Refused;
    }
    void reset() override { sqlite3_reset(m_stmt.get()); }
    QString refusal() const override { return m_refusal; }
    qint64 changes() const override { return m_changes; }

    int columnCount() const override { return sqlite3_column_count(m_stmt.get()); }
    QString columnName(int column) const override
    {
        return QString::fromUtf8(sqlite3_column_name(m_stmt.get(), column));
    }
    ColumnKind columnKind(int column) const override
    {
        const char *declared = sqlite3_column_decltype(m_stmt.get(), column);
        return columnKindOf(declared ? QByteArrayView(declared) : QByteArrayView());
    }
    ValueType type(int column) const override
    {
        switch (sqlite3_column_type(m_stmt.get(), column)) {
        case SQLITE_INTEGER:
            return ValueType::Integer;
        case SQLITE_FLOAT:
            return ValueType::Real;
        case SQLITE_TEXT:
            return ValueType::Text;
        case SQLITE_BLOB:
            return ValueType::Blob;
        default:
            return ValueType::Null;
        }
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt.get(), column); }
    double real(int column) const override { return sqlite3_column_double(m_stmt.get(), column); }
    QByteArrayView text(int column) const override
    {
        // The pointer first: asking for the size first could convert the value twice.
        const void *p
                = sqlite3_column_type(m_stmt.get(), column) == SQLITE_BLOB
                          ? sqlite3_column_blob(m_stmt.get(), column)
                          : static_cast<const void *>(sqlite3_column_text(m_stmt.get(), column));
        return QByteArrayView(static_cast<const char *>(p),
                              sqlite3_column_bytes(m_stmt.get(), column));
    }

private:
    const SqliteConnection &m_connection;
    Stmt m_stmt;
    QString m_refusal;
    qint64 m_changes = 0;
};

// Rows of one table by multi-row INSERT statements stepped inside the command's transaction,
// while the write-behind gets the changed pages on their way to disk.
class SqliteRowSink final : public RowSink
{
public:
    SqliteRowSink(SqliteConnection &connection, const QString &table, const QStringList &columns)
        : m_connection(connection)
        , m_width(std::size_t(columns.size()))
        , m_writeBehind(connection)
    {
        QStringList names;
        for (const QString &c : columns)
            names << Connection::quoteId(c);
        const QString row = u'(' + QStringList(columns.size(), u"?"_s).join(u',') + u')';
        const QString insert = u"INSERT INTO %1 (%2) VALUES "_s.arg(Connection::quoteId(table),
                                                                    names.join(u','));
        m_one = prepare(insert + row);
        const int variables = sqlite3_limit(connection.handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
        const std::size_t rows
                = m_width ? std::min<std::size_t>(kRunRows, std::size_t(variables) / m_width) : 1;
        if (rows >= 2) {
            try {
                m_run = prepare(insert + QStringList(int(rows), row).join(u','));
                m_runRows = rows;
            } catch (const DatabaseError &) {
                throw;
            } catch (const Error &) {
                m_run.reset();
            }
        }
    }

    std::size_t runRows() const override { return m_runRows; }

    bool insertRows(const Cell *cells, std::size_t rows, const char *arena) override
    {
        if (rows == m_runRows && m_run) {
            for (std::size_t r = 0; r < rows; ++r)
                bind(m_run.get(), int(r * m_width), cells + r * m_width, arena);
            return stepped(m_run.get());
        }
        // Fewer rows than a run: one by one under a savepoint, so a refusal leaves none.
        m_connection.exec(u"SAVEPOINT bm_rows"_s);
        for (std::size_t r = 0; r < rows; ++r) {
            if (!insertRow(cells + r * m_width, arena)) {
                m_connection.exec(u"ROLLBACK TO bm_rows"_s);
                m_connection.exec(u"RELEASE bm_rows"_s);
                return false;
            }
        }
        m_connection.exec(u"RELEASE bm_rows"_s);
        return true;
    }

    bool insertRow(const Cell *cells, const char *arena) override
    {
        bind(m_one.get(), 0, cells, arena);
        return stepped(m_one.get());
    }

    QString refusal() const override { return m_refusal; }
    void finish() override {}

private:
    Stmt prepare(const QString &sql)
    {
        sqlite3_stmt *raw = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(m_connection.handle(), utf8.constData(), int(utf8.size()),
                                          &raw, nullptr);
        Stmt stmt(raw);
        if (rc != SQLITE_OK) {
            m_connection.raiseIfDatabaseFailure(rc);
            throw Error(m_connection.lastMessage());
        }
        return stmt;
    }

    void bind(sqlite3_stmt *s, int first, const Cell *cells, const char *arena) const
    {
        for (std::size_t i = 0; i < m_width; ++i) {
            const int param = first + int(i) + 1;
            const Cell &c = cells[i];
            switch (c.kind) {
            case Cell::Kind::Null:
                sqlite3_bind_null(s, param);
                break;
            case Cell::Kind::Integer:
                sqlite3_bind_int64(s, param, c.integer);
                break;
            case Cell::Kind::Real:
                sqlite3_bind_double(s, param, c.real);
                break;
            case Cell::Kind::Text:
                // The arena outlives the step; the statement is reset before it changes.
                sqlite3_bind_text(s, param, arena + c.offset, int(c.length), SQLITE_STATIC);
                break;
            }
        }
    }

    // Steps an INSERT; a failure of the database itself raises, a refusal returns false.
    bool stepped(sqlite3_stmt *s)
    {
        m_connection.checkTransaction();
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) {
            sqlite3_reset(s);
            return true;
        }
        m_connection.raiseIfDatabaseFailure(rc);
        m_refusal = m_connection.lastMessage();
        sqlite3_reset(s);
        m_connection.checkTransaction();
        return false;
    }

    SqliteConnection &m_connection;
    std::size_t m_width;
    Stmt m_one;
    Stmt m_run;
    std::size_t m_runRows = 1;
    QString m_refusal;
    WriteBehind m_writeBehind;
};

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

SqliteConnection::SqliteConnection(const QString &path)
    : m_path(path)
{
    if (!QFileInfo(path).isFile())
        throw Error(u"Could not find file '%1'"_s.arg(nativePath(path)));
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                     : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw Error(u"Cannot open the herd database '%1': %2"_s.arg(nativePath(path), message));
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // A double-quoted name is always a name, never a string literal, so a probe of a missing
    // column fails instead of selecting a constant.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // Ordinary SQL may not damage the file (a writable schema, no journal, ...).
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    registerCaseless(m_db);
    // The file must really be a database: SQLite opens lazily, so read its schema now.
    const int probe
            = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (probe != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw Error(u"Cannot open the herd database '%1': %2"_s.arg(nativePath(path), message));
    }
}

void SqliteConnection::createFile(const QString &path)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // SQLite writes nothing until the first change: give the file its header now, so it is a
    // database from the start.
    // 16 KB pages: the grid's re-query, sort and scroll and the load of data sets of millions
    // of rows read and write fewer, fuller pages.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA page_size = 16384", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA user_version = 0", nullptr, nullptr, nullptr);
    const QString message = rc == SQLITE_OK ? QString()
                            : db            ? QString::fromUtf8(sqlite3_errmsg(db))
                                            : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK)
        throw Error(u"Cannot create the database file '%1': %2"_s.arg(nativePath(path), message));
}

SqliteConnection::~SqliteConnection()
{
    if (m_transaction)
        rollback();
    sqlite3_close_v2(m_db);
}

QString SqliteConnection::displayName() const
{
    return nativePath(m_path);
}

StatementPtr SqliteConnection::prepare(const QString &sql, const QString &context)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &raw, nullptr);
    if (rc != SQLITE_OK || !raw) {
        sqlite3_finalize(raw);
        raiseIfDatabaseFailure(rc);
        const QString message = rc == SQLITE_OK ? u"The statement is empty"_s : lastMessage();
        throw Error(context.isEmpty() ? message : context + u": "_s + message);
    }
    return std::make_unique<SqliteStatement>(*this, raw);
}

StatementPtr SqliteConnection::prepareFirst(QString &script)
{
    const QByteArray utf8 = script.toUtf8();
    const char *at = utf8.constData();
    const char *end = at + utf8.size();
    while (at < end) {
        sqlite3_stmt *raw = nullptr;
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, at, int(end - at), &raw, &tail);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(raw);
            raiseIfDatabaseFailure(rc);
            throw Error(lastMessage());
        }
        at = tail;
        if (raw) {
            script = QString::fromUtf8(at, end - at);
            return std::make_unique<SqliteStatement>(*this, raw);
        }
    }
    script.clear();
    return nullptr;
}

void SqliteConnection::run(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        raiseIfDatabaseFailure(rc);
        throw Error(lastMessage());
    }
}

void SqliteConnection::begin(Access access)
{
    // Immediate: the write lock is taken at once, so a command never finds the database locked
    // halfway through.
    run(access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    m_transaction = true;
}

void SqliteConnection::setBusyCallback(std::function<void()> callback)
{
    // Steps of a statement between two calls: a few milliseconds of work.
    constexpr int kSteps = 20000;
    m_busy = std::move(callback);
    if (m_busy) {
        sqlite3_progress_handler(
                m_db, kSteps,
                [](void *self) {
                    static_cast<SqliteConnection *>(self)->m_busy();
                    return 0; // the statement goes on
                },
                this);
    } else {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }
}

void SqliteConnection::addFunction(const QString &name, int arguments, TextFunction function)
{
    struct Call
    {
        TextFunction function;
        int arguments;
        std::vector<std::string_view> views;
        std::string result;
    };
    auto *call = new Call{std::move(function), arguments, {}, {}};
    const auto run = [](sqlite3_context *context, int n, sqlite3_value **argv) {
        auto *c = static_cast<Call *>(sqlite3_user_data(context));
        c->views.assign(size_t(n), std::string_view());
        for (int i = 0; i < n; ++i) {
            if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
                continue;
            const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[i]));
            if (text)
                c->views[size_t(i)] = std::string_view(text, size_t(sqlite3_value_bytes(argv[i])));
        }
        if (c->function(c->result, c->views.data()))
            sqlite3_result_text(context, c->result.data(), int(c->result.size()), SQLITE_TRANSIENT);
        else
            sqlite3_result_null(context);
    };
    const int rc = sqlite3_create_function_v2(m_db, name.toUtf8().constData(), arguments,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                              call, run, nullptr, nullptr,
                                              [](void *p) { delete static_cast<Call *>(p); });
    if (rc != SQLITE_OK) {
        raiseIfDatabaseFailure(rc);
        throw Error(lastMessage());
    }
}

qint64 SqliteConnection::totalChanges() const
{
    return sqlite3_total_changes64(m_db);
}

void SqliteConnection::guardScript(bool on)
{
    m_guarded = on;
    installAuthorizer();
}

void SqliteConnection::setAuthorizer(Authorizer authorizer, void *context)
{
    m_authorizer = authorizer;
    m_authorizerContext = context;
    installAuthorizer();
}

void SqliteConnection::installAuthorizer()
{
    if (!m_guarded && !m_authorizer) {
        sqlite3_set_authorizer(m_db, nullptr, nullptr);
        return;
    }
    sqlite3_set_authorizer(
            m_db,
            [](void *self, int action, const char *a, const char *b, const char *db,
               const char *trigger) {
                const auto *c = static_cast<const SqliteConnection *>(self);
                if (c->m_guarded && (action == SQLITE_TRANSACTION || action == SQLITE_SAVEPOINT))
                    return SQLITE_DENY;
                return c->m_authorizer
                               ? c->m_authorizer(c->m_authorizerContext, action, a, b, db, trigger)
                               : SQLITE_OK;
            },
            this);
}

void SqliteConnection::commit()
{
    checkTransaction();
    run("COMMIT");
    m_transaction = false;
}

void SqliteConnection::rollback() noexcept
{
    m_transaction = false;
    // SQLite may already have rolled the transaction back by itself; what cannot be rolled back
    // now is rolled back from the journal when the database is next opened.
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteConnection::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

std::unique_ptr<RowSink> SqliteConnection::rowSink(const QString &table, const QStringList &columns)
{
    return std::make_unique<SqliteRowSink>(*this, table, columns);
}

QStringList SqliteConnection::tables()
{
    QStringList names;
    StatementPtr stmt = prepare(
            u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\' ORDER BY name"_s);
    while (stmt->next())
        names << stmt->string(0);
    return names;
}

QList<Column> SqliteConnection::columns(const QString &table)
{
    QList<Column> result;
    StatementPtr stmt = prepare(u"SELECT name, type FROM pragma_table_info(?1)"_s);
    stmt->bindText(1, table);
    while (stmt->next()) {
        Column c;
        c.name = stmt->string(0);
        c.declaredType = stmt->string(1).toUpper();
        c.kind = columnKindOf(stmt->text(1));
        result << c;
    }
    stmt.reset();
    const QByteArray t = table.toUtf8();
    for (Column &c : result) {
        const char *collation = nullptr;
        if (sqlite3_table_column_metadata(m_db, "main", t.constData(), c.name.toUtf8().constData(),
                                          nullptr, &collation, nullptr, nullptr, nullptr)
            != SQLITE_OK)
            continue;
        const QByteArray name = QByteArray(collation ? collation : "BINARY").toUpper();
        c.comparison = name == "BINARY"   ? Comparison::Exact
                       : name == "NOCASE" ? Comparison::Caseless
                                          : Comparison::Other;
    }
    return result;
}

QString SqliteConnection::columnType(ColumnKind kind) const
{
    switch (kind) {
    case ColumnKind::Integer:
        return u"INTEGER"_s;
    case ColumnKind::Real:
        return u"REAL"_s;
    case ColumnKind::Date:
        return u"DATE"_s;
    case ColumnKind::Boolean:
        return u"BOOLEAN"_s;
    default:
        return u"TEXT COLLATE NOCASE"_s;
    }
}

QString SqliteConnection::daysBetween(const QString &later, const QString &earlier) const
{
    return u"CAST(julianday(%1) - julianday(%2) AS INTEGER)"_s.arg(later, earlier);
}

QString SqliteConnection::rowKey() const
{
    return u"rowid"_s;
}

QString SqliteConnection::caseless() const
{
    return u" COLLATE "_s + QLatin1StringView(kCaselessCollation);
}

void SqliteConnection::raiseIfDatabaseFailure(int rc) const
{
    if (isDatabaseFailure(rc))
        throw DatabaseError(databaseFailureCause(rc, m_db), lastMessage());
}

void SqliteConnection::checkTransaction() const
{
    if (m_transaction && sqlite3_get_autocommit(m_db)) {
        QString cause = u"the herd database rolled back the command's changes after an error"_s;
        if (sqlite3_errcode(m_db) != SQLITE_OK)
            cause += u" (%1)"_s.arg(lastMessage());
        throw DatabaseError(cause);
    }
}

QString SqliteConnection::lastMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

sqlite3 *sqliteHandle(const Connection &connection)
{
    const auto *sqlite = dynamic_cast<const SqliteConnection *>(&connection);
    if (!sqlite)
        throw Error(u"This works only on a herd database of this computer (Tembra.db)"_s);
    return sqlite->handle();
}

bool isDatabaseFailure(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:
    case SQLITE_NOMEM:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_NOLFS:
    case SQLITE_INTERRUPT:
    case SQLITE_ABORT:
    case SQLITE_INTERNAL:
    case SQLITE_MISUSE:
        return true;
    default:
        return false;
    }
}

QString databaseFailureCause(int rc, sqlite3 *db)
{
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return u"database or disk is full"_s;
    case SQLITE_READONLY:
        return u"the herd database is read-only"_s;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:
        return u"the herd database is locked by another program"_s;
    case SQLITE_NOMEM:
        return u"out of memory"_s;
    case SQLITE_CORRUPT:
        return u"the herd database file is damaged"_s;
    case SQLITE_NOTADB:
        return u"the herd database file is not a database"_s;
    case SQLITE_CANTOPEN:
        return u"the herd database file cannot be opened"_s;
    case SQLITE_PERM:
        return u"access to the herd database is denied"_s;
    case SQLITE_NOLFS:
        return u"the herd database is too large for its file system"_s;
    case SQLITE_IOERR: {
        // The system's own words say more than "disk I/O error": "No space left on device".
        const int error = db ? sqlite3_system_errno(db) : 0;
        if (error != 0)
            return u"disk I/O error: %1"_s.arg(QString::fromLocal8Bit(std::strerror(error)));
        // SQLite may have lost the system's word on the way (a rollback after the failed
        // write); a limit on the size of files is the likely cause where one is set.
        rlimit limit{};
        if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            return u"disk I/O error: %1 (files may grow to %2 bytes at most here)"_s.arg(
                    QString::fromLocal8Bit(std::strerror(EFBIG)),
                    QLocale::c().toString(qulonglong(limit.rlim_cur)));
        return u"disk I/O error"_s;
    }
    default:
        return QString::fromUtf8(sqlite3_errstr(rc));
    }
}

} // namespace bm::db
