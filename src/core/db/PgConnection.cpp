#include "PgConnection.h"

#include "StoredDate.h"

#include <libpq-fe.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace bm::db {

using namespace Qt::StringLiterals;

namespace {

// Type OIDs of the server's built-in types.
enum : Oid {
    kBool = 16,
    kBytea = 17,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kTid = 27,
    kFloat4 = 700,
    kFloat8 = 701,
    kUnknown = 705,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
};

// A row's place (ctid, "(block,item)") as one integer, the row key that the commands read and
// bind as a whole number: block << 16 | item (an item number fits 16 bits).
qint64 tidNumber(const char *text)
{
    const char *p = text[0] == '(' ? text + 1 : text;
    char *end = nullptr;
    const qint64 block = std::strtoll(p, &end, 10);
    const qint64 item = (end && *end == ',') ? std::strtoll(end + 1, nullptr, 10) : 0;
    return (block << 16) | (item & 0xFFFF);
}

QByteArray tidText(qint64 number)
{
    return '(' + QByteArray::number(number >> 16) + ',' + QByteArray::number(number & 0xFFFF) + ')';
}

// Connections of this process that hold a bulk lock.
std::atomic<int> g_bulkLocks{0};

// Rows one FETCH of a scan brings.
constexpr int kScanBatch = 10000;
// Bytes of rows the row sink gathers before it sends them in one COPY.
constexpr std::size_t kCopyBytes = 4 << 20;
// Rows the row sink takes at once.
constexpr std::size_t kSinkRun = 256;
// Days from 1970-01-01 (Qt's Julian day 2440588) to 2000-01-01, the server's day 0.
constexpr qint64 kPgEpochJulianDay = 2451545;

struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

ColumnKind kindOfOid(Oid oid, const PgConnection &connection)
{
    switch (oid) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kTid:
        return ColumnKind::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return ColumnKind::Real;
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return ColumnKind::Date;
    case kText:
    case kVarchar:
    case kBpchar:
    case kName:
    case kChar:
        return ColumnKind::Text;
    case kBool:
        return ColumnKind::Boolean;
    case kUnknown:
        return ColumnKind::Unknown;
    default:
        return connection.isCitext(oid) ? ColumnKind::Text : ColumnKind::Other;
    }
}

ValueType valueTypeOfOid(Oid oid)
{
    switch (oid) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kTid:
    case kBool:
        return ValueType::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return ValueType::Real;
    case kBytea:
        return ValueType::Blob;
    default:
        return ValueType::Text;
    }
}

QString serverMessage(const PGresult *result, const PGconn *conn)
{
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
    return text.isEmpty() ? u"unknown error"_s : text;
}

// The cause of a failure of the database itself, by SQLSTATE; empty for a failure of the
// statement and its data.
QString databaseCause(const char *state)
{
    if (!state || std::strlen(state) != 5)
        return QString();
    const QByteArrayView s(state, 5);
    if (s.startsWith("08"))
        return u"the connection to the herd database server was lost"_s;
    if (s == "53100")
        return u"database or disk is full"_s;
    if (s == "53200")
        return u"out of memory"_s;
    if (s.startsWith("53"))
        return u"the herd database server is out of resources"_s;
    if (s == "57014")
        return u"the herd database server cancelled the statement"_s;
    if (s.startsWith("57"))
        return u"the herd database server is shutting down"_s;
    if (s.startsWith("58"))
        return u"disk I/O error on the herd database server"_s;
    if (s.startsWith("XX"))
        return u"the herd database server failed"_s;
    if (s == "25006")
        return u"the herd database is read-only"_s;
    if (s == "42501")
        return u"access to the herd database is denied"_s;
    if (s == "40P01" || s == "55P03" || s == "40001")
        return u"the herd database is locked by another program"_s;
    if (s == "25P02")
        return u"the herd database rolled back the command's changes after an error"_s;
    return QString();
}

QByteArray realText(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "Infinity" : "-Infinity";
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return QByteArray(buffer, n);
}

void putInt16(QByteArray &out, qint16 v)
{
    const quint16 u = quint16(v);
    out.append(char(u >> 8)).append(char(u & 0xFF));
}

void putInt32(QByteArray &out, qint32 v)
{
    const quint32 u = quint32(v);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((u >> shift) & 0xFF));
}

void putInt64(QByteArray &out, qint64 v)
{
    const quint64 u = quint64(v);
    for (int shift = 56; shift >= 0; shift -= 8)
        out.append(char((u >> shift) & 0xFF));
}

} // namespace

// ---------------------------------------------------------------------------------------------

class PgStatement final : public Statement
{
public:
    enum class Mode { Rows, Scan };

    // `sql` has its parameters as $1, $2, ... already.
    PgStatement(PgConnection &connection, const QString &sql, const QString &context, Mode mode)
        : m_connection(connection)
        , m_sql(sql.toUtf8())
        , m_mode(mode)
    {
        m_name = connection.nextName("bm_s");
        Result prepared = guarded([&] {
            return Result(PQprepare(m_connection.m_conn, m_name.constData(), m_sql.constData(), 0,
                                    nullptr));
        });
        const QString failure = m_connection.check(prepared.get());
        if (!failure.isEmpty()) {
            const char *state = PQresultErrorField(prepared.get(), PG_DIAG_SQLSTATE);
            // A parameter whose type only its value tells: prepared at the first step.
            if (state && std::strcmp(state, "42P18") == 0) {
                m_lazy = true;
                return;
            }
            throw Error(context.isEmpty() ? failure : context + u": "_s + failure);
        }
        m_prepared = true;
        describe();
    }

    ~PgStatement() override
    {
        closeScan();
        if (m_prepared && m_connection.m_conn
            && PQtransactionStatus(m_connection.m_conn) != PQTRANS_INERROR) {
            PQclear(PQexec(m_connection.m_conn, ("DEALLOCATE " + m_name).constData()));
        }
    }

    void bindNull(int parameter) override { set(parameter, QByteArray(), true, 0); }
    void bindInteger(int parameter, qint64 value) override
    {
        // A parameter compared with a row key (ctid) takes the key's own text.
        if (parameter >= 1 && std::size_t(parameter) <= m_parameterTypes.size()
            && m_parameterTypes[std::size_t(parameter) - 1] == kTid) {
            set(parameter, tidText(value), false, kTid);
            return;
        }
        set(parameter, QByteArray::number(value), false, kInt8);
    }
    void bindReal(int parameter, double value) override
    {
        set(parameter, realText(value), false, kFloat8);
    }
    void bindText(int parameter, QByteArrayView utf8) override
    {
        set(parameter, utf8.toByteArray(), false, 0);
    }
    using Statement::bindText;

    Step step() override
    {
        if (m_result) {
            if (++m_row < PQntuples(m_result.get()))
                return Step::Row;
            if (m_mode == Mode::Scan && m_cursorOpen) {
                fetch();
                if (PQntuples(m_result.get()) > 0)
                    return Step::Row;
                closeScan();
            }
            return Step::Done;
        }
        m_connection.checkTransaction();
        if (m_lazy && !m_prepared)
            prepareTyped();
        return m_mode == Mode::Scan ? openScan() : execute();
    }

    void reset() override
    {
        closeScan();
        m_result.reset();
        m_row = -1;
    }
    QString refusal() const override { return m_refusal; }
    qint64 changes() const override { return m_changes; }

    int columnCount() const override { return int(m_columnNames.size()); }
    QString columnName(int column) const override { return m_columnNames.value(column); }
    ColumnKind columnKind(int column) const override
    {
        return kindOfOid(m_columnTypes.value(column), m_connection);
    }
    ValueType type(int column) const override
    {
        if (!m_result || PQgetisnull(m_result.get(), m_row, column))
            return ValueType::Null;
        return valueTypeOfOid(Oid(PQftype(m_result.get(), column)));
    }
    qint64 integer(int column) const override
    {
        const char *v = value(column);
        if (!v)
            return 0;
        if (PQftype(m_result.get(), column) == kBool)
            return v[0] == 't' ? 1 : 0;
        const Oid t = Oid(PQftype(m_result.get(), column));
        if (t == kFloat4 || t == kFloat8 || t == kNumeric)
            return qint64(std::strtod(v, nullptr));
        if (t == kTid)
            return tidNumber(v);
        return std::strtoll(v, nullptr, 10);
    }
    double real(int column) const override
    {
        const char *v = value(column);
        if (!v)
            return 0;
        if (PQftype(m_result.get(), column) == kBool)
            return v[0] == 't' ? 1 : 0;
        return std::strtod(v, nullptr);
    }
    QByteArrayView text(int column) const override
    {
        const char *v = value(column);
        if (!v)
            return {};
        const Oid t = Oid(PQftype(m_result.get(), column));
        if (t == kBool)
            return QByteArrayView(v[0] == 't' ? "1" : "0");
        if (t == kBytea) {
            size_t length = 0;
            unsigned char *raw
                    = PQunescapeBytea(reinterpret_cast<const unsigned char *>(v), &length);
            m_blob = QByteArray(reinterpret_cast<const char *>(raw), qsizetype(length));
            PQfreemem(raw);
            return m_blob;
        }
        return QByteArrayView(v, PQgetlength(m_result.get(), m_row, column));
    }

private:
    // Runs `call` under a savepoint when a transaction is open, so a failure of the statement
    // leaves the command's transaction going, as it does on every engine.
    template<typename Call>
    Result guarded(Call call)
    {
        PGconn *conn = m_connection.m_conn;
        const bool inTransaction = PQtransactionStatus(conn) == PQTRANS_INTRANS;
        if (inTransaction)
            m_connection.check(Result(PQexec(conn, "SAVEPOINT bm_step")).get());
        Result result = call();
        if (inTransaction) {
            const ExecStatusType status = PQresultStatus(result.get());
            const bool failed = status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
            if (failed && PQstatus(conn) == CONNECTION_OK)
                PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT bm_step"));
            if (PQstatus(conn) == CONNECTION_OK)
                PQclear(PQexec(conn, "RELEASE SAVEPOINT bm_step"));
        }
        return result;
    }

    void set(int parameter, QByteArray value, bool null, Oid type)
    {
        if (parameter < 1)
            return;
        const auto n = std::size_t(parameter);
        if (m_values.size() < n) {
            m_values.resize(n);
            m_nulls.resize(n, true);
            m_types.resize(n, 0);
        }
        m_values[n - 1] = std::move(value);
        m_nulls[n - 1] = null;
        if (!null)
            m_types[n - 1] = type;
    }

    std::vector<const char *> parameterValues() const
    {
        std::vector<const char *> values(std::max<std::size_t>(m_values.size(), m_parameters));
        for (std::size_t i = 0; i < m_values.size(); ++i)
            values[i] = m_nulls[i] ? nullptr : m_values[i].constData();
        return values;
    }

    void describe()
    {
        Result d(PQdescribePrepared(m_connection.m_conn, m_name.constData()));
        m_connection.check(d.get());
        m_parameters = std::size_t(PQnparams(d.get()));
        m_parameterTypes.resize(m_parameters);
        for (std::size_t p = 0; p < m_parameters; ++p)
            m_parameterTypes[p] = PQparamtype(d.get(), int(p));
        m_columnNames.clear();
        m_columnTypes.clear();
        for (int c = 0; c < PQnfields(d.get()); ++c) {
            m_columnNames << QString::fromUtf8(PQfname(d.get(), c));
            m_columnTypes << unsigned(PQftype(d.get(), c));
        }
    }

    void prepareTyped()
    {
        std::vector<Oid> types(m_types.begin(), m_types.end());
        Result prepared = guarded([&] {
            return Result(PQprepare(m_connection.m_conn, m_name.constData(), m_sql.constData(),
                                    int(types.size()), types.data()));
        });
        const QString failure = m_connection.check(prepared.get());
        if (!failure.isEmpty())
            throw Error(failure);
        m_prepared = true;
        describe();
    }

    Step execute()
    {
        const std::vector<const char *> values = parameterValues();
        Result result = guarded([&] {
            return Result(PQexecPrepared(m_connection.m_conn, m_name.constData(),
                                         int(values.size()), values.data(), nullptr, nullptr, 0));
        });
        const QString failure = m_connection.check(result.get());
        if (!failure.isEmpty()) {
            m_refusal = failure;
            return Step::Refused;
        }
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            m_changes = std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
            m_connection.m_changes += m_changes;
            m_result.reset();
            return Step::Done;
        }
        m_changes = 0;
        m_result = std::move(result);
        m_row = 0;
        return PQntuples(m_result.get()) > 0 ? Step::Row : Step::Done;
    }

    Step openScan()
    {
        PGconn *conn = m_connection.m_conn;
        if (PQtransactionStatus(conn) == PQTRANS_IDLE) {
            // One snapshot for the whole scan, however long it takes.
            m_connection.check(
                    Result(PQexec(conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")).get());
            m_ownTransaction = true;
        }
        m_cursor = m_connection.nextName("bm_c");
        const QByteArray declare = "DECLARE " + m_cursor + " NO SCROLL CURSOR FOR " + m_sql;
        const std::vector<const char *> values = parameterValues();
        Result result = guarded([&] {
            return Result(PQexecParams(conn, declare.constData(), int(values.size()), nullptr,
                                       values.data(), nullptr, nullptr, 0));
        });
        QString failure;
        try {
            failure = m_connection.check(result.get());
        } catch (...) {
            endOwnTransaction();
            throw;
        }
        if (!failure.isEmpty()) {
            endOwnTransaction();
            m_refusal = failure;
            return Step::Refused;
        }
        m_cursorOpen = true;
        fetch();
        if (PQntuples(m_result.get()) > 0)
            return Step::Row;
        closeScan();
        return Step::Done;
    }

    void fetch()
    {
        const QByteArray sql
                = "FETCH FORWARD " + QByteArray::number(kScanBatch) + " FROM " + m_cursor;
        Result result(PQexec(m_connection.m_conn, sql.constData()));
        const QString failure = m_connection.check(result.get());
        if (!failure.isEmpty()) {
            closeScan();
            throw Error(failure);
        }
        m_result = std::move(result);
        m_row = 0;
    }

    void closeScan() noexcept
    {
        if (m_cursorOpen && m_connection.m_conn
            && PQtransactionStatus(m_connection.m_conn) == PQTRANS_INTRANS)
            PQclear(PQexec(m_connection.m_conn, ("CLOSE " + m_cursor).constData()));
        m_cursorOpen = false;
        endOwnTransaction();
    }

    void endOwnTransaction() noexcept
    {
        if (m_ownTransaction && m_connection.m_conn
            && PQtransactionStatus(m_connection.m_conn) != PQTRANS_IDLE)
            PQclear(PQexec(m_connection.m_conn, "ROLLBACK"));
        m_ownTransaction = false;
    }

    const char *value(int column) const
    {
        if (!m_result || m_row < 0 || m_row >= PQntuples(m_result.get())
            || PQgetisnull(m_result.get(), m_row, column))
            return nullptr;
        return PQgetvalue(m_result.get(), m_row, column);
    }

    PgConnection &m_connection;
    QByteArray m_sql;
    Mode m_mode;
    QByteArray m_name;
    bool m_prepared = false;
    bool m_lazy = false;
    std::size_t m_parameters = 0;
    std::vector<Oid> m_parameterTypes;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_nulls;
    std::vector<Oid> m_types;
    QStringList m_columnNames;
    QList<unsigned> m_columnTypes;
    Result m_result;
    int m_row = -1;
    qint64 m_changes = 0;
    QString m_refusal;
    QByteArray m_cursor;
    bool m_cursorOpen = false;
    bool m_ownTransaction = false;
    mutable QByteArray m_blob;
};

// ---------------------------------------------------------------------------------------------

namespace {

// Rows of one table in COPY's binary form, sent in one COPY each time a few megabytes have
// gathered, so the connection is free for other statements between them.
class PgRowSink final : public RowSink
{
public:
    PgRowSink(PgConnection &connection, const QString &table, const QStringList &columns)
        : m_connection(connection)
        , m_table(table)
    {
        StatementPtr types = connection.prepare(
                u"SELECT a.attname, a.atttypid::bigint FROM pg_attribute a "
                "JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = "
                "c.relnamespace WHERE n.nspname = current_schema() AND c.relname = ?1 "
                "AND a.attnum > 0 AND NOT a.attisdropped"_s);
        types->bindText(1, table);
        QHash<QString, Oid> byName;
        while (types->next())
            byName.insert(types->string(0).toLower(), Oid(types->integer(1)));
        QStringList quoted;
        for (const QString &c : columns) {
            const auto it = byName.constFind(c.toLower());
            if (it == byName.constEnd())
                throw Error(u"Table %1 has no column %2"_s.arg(table, c));
            m_types.push_back(*it);
            quoted << Connection::quoteId(c);
        }
        m_copy = (u"COPY "_s + Connection::quoteId(table) + u" ("_s + quoted.join(u',')
                  + u") FROM STDIN (FORMAT binary)"_s)
                         .toUtf8();
        m_buffer.reserve(qsizetype(kCopyBytes + (1 << 16)));
    }

    std::size_t runRows() const override { return kSinkRun; }

    bool insertRows(const Cell *cells, std::size_t rows, const char *arena) override
    {
        const qsizetype mark = m_buffer.size();
        const std::size_t width = m_types.size();
        for (std::size_t r = 0; r < rows; ++r) {
            if (!encode(cells + r * width, arena)) {
                m_buffer.truncate(mark);
                return false;
            }
        }
        if (std::size_t(m_buffer.size()) >= kCopyBytes)
            flush();
        return true;
    }

    bool insertRow(const Cell *cells, const char *arena) override
    {
        return insertRows(cells, 1, arena);
    }

    QString refusal() const override { return m_refusal; }

    void finish() override { flush(); }

private:
    bool encode(const Cell *cells, const char *arena)
    {
        putInt16(m_buffer, qint16(m_types.size()));
        for (std::size_t i = 0; i < m_types.size(); ++i) {
            const Cell &c = cells[i];
            if (c.kind == Cell::Kind::Null) {
                putInt32(m_buffer, -1);
                continue;
            }
            const Oid type = m_types[i];
            switch (type) {
            case kInt8:
            case kInt4:
            case kInt2: {
                qint64 v = 0;
                if (c.kind == Cell::Kind::Integer)
                    v = c.integer;
                else if (c.kind == Cell::Kind::Real && std::nearbyint(c.real) == c.real
                         && std::fabs(c.real) < 9.2e18)
                    v = qint64(c.real);
                else
                    return refuse(i, "a whole number");
                if (type == kInt8) {
                    putInt32(m_buffer, 8);
                    putInt64(m_buffer, v);
                } else if (type == kInt4) {
                    if (v < std::numeric_limits<qint32>::min()
                        || v > std::numeric_limits<qint32>::max())
                        return refuse(i, "a number of this size");
                    putInt32(m_buffer, 4);
                    putInt32(m_buffer, qint32(v));
                } else {
                    if (v < std::numeric_limits<qint16>::min()
                        || v > std::numeric_limits<qint16>::max())
                        return refuse(i, "a number of this size");
                    putInt32(m_buffer, 2);
                    putInt16(m_buffer, qint16(v));
                }
                break;
            }
            case kFloat8:
            case kFloat4: {
                double v = 0;
                if (c.kind == Cell::Kind::Real)
                    v = c.real;
                else if (c.kind == Cell::Kind::Integer)
                    v = double(c.integer);
                else
                    return refuse(i, "a number");
                if (type == kFloat8) {
                    quint64 bits = 0;
                    std::memcpy(&bits, &v, sizeof bits);
                    putInt32(m_buffer, 8);
                    putInt64(m_buffer, qint64(bits));
                } else {
                    const float f = float(v);
                    quint32 bits = 0;
                    std::memcpy(&bits, &f, sizeof bits);
                    putInt32(m_buffer, 4);
                    putInt32(m_buffer, qint32(bits));
                }
                break;
            }
            case kDate: {
                if (c.kind != Cell::Kind::Text)
                    return refuse(i, "a date");
                const QDate d = dateFromStored(QByteArrayView(arena + c.offset, c.length));
                if (!d.isValid())
                    return refuse(i, "a date");
                putInt32(m_buffer, 4);
                putInt32(m_buffer, qint32(d.toJulianDay() - kPgEpochJulianDay));
                break;
            }
            case kBool:
                if (c.kind != Cell::Kind::Integer)
                    return refuse(i, "true or false");
                putInt32(m_buffer, 1);
                m_buffer.append(char(c.integer != 0 ? 1 : 0));
                break;
            default:
                // Text of every kind, citext among them, is sent as its UTF-8 bytes.
                if (type == kText || type == kVarchar || type == kBpchar
                    || m_connection.isCitext(type)) {
                    QByteArray text;
                    if (c.kind == Cell::Kind::Text) {
                        putInt32(m_buffer, qint32(c.length));
                        m_buffer.append(arena + c.offset, qsizetype(c.length));
                        break;
                    }
                    text = c.kind == Cell::Kind::Integer ? QByteArray::number(c.integer)
                                                         : realText(c.real);
                    putInt32(m_buffer, qint32(text.size()));
                    m_buffer.append(text);
                    break;
                }
                return refuse(i, "a value of its type");
            }
        }
        return true;
    }

    bool refuse(std::size_t column, const char *what)
    {
        m_refusal = u"column %1 of table %2 takes only %3"_s.arg(
                QString::number(column + 1), m_table, QString::fromLatin1(what));
        return false;
    }

    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        PGconn *conn = m_connection.handle();
        m_connection.checkTransaction();
        Result start(PQexec(conn, m_copy.constData()));
        if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
            const QString failure = m_connection.check(start.get());
            throw Error(u"Cannot store rows in table %1: %2"_s.arg(m_table, failure));
        }
        QByteArray head("PGCOPY\n\377\r\n\0", 11);
        putInt32(head, 0);
        putInt32(head, 0);
        QByteArray tail;
        putInt16(tail, -1);
        const bool sent = PQputCopyData(conn, head.constData(), int(head.size())) == 1
                          && PQputCopyData(conn, m_buffer.constData(), int(m_buffer.size())) == 1
                          && PQputCopyData(conn, tail.constData(), int(tail.size())) == 1;
        PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent");
        m_buffer.clear();
        Result end(PQgetResult(conn));
        while (Result more{PQgetResult(conn)}) {
        }
        const QString failure = m_connection.check(end.get());
        if (!failure.isEmpty())
            throw Error(u"Cannot store rows in table %1: %2"_s.arg(m_table, failure));
    }

    PgConnection &m_connection;
    QString m_table;
    std::vector<Oid> m_types;
    QByteArray m_copy;
    QByteArray m_buffer;
    QString m_refusal;
};

} // namespace

// ---------------------------------------------------------------------------------------------

PgConnection::PgConnection(const QString &uri)
{
    m_conn = PQconnectdb(uri.toUtf8().constData());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const QString why
                = QString::fromUtf8(m_conn ? PQerrorMessage(m_conn) : "out of memory").trimmed();
        PQfinish(m_conn);
        m_conn = nullptr;
        throw Error(u"Cannot connect to the herd database server: %1"_s.arg(why));
    }
    execScript(u"SET client_encoding TO 'UTF8'; SET DateStyle TO ISO, YMD; "
               "SET extra_float_digits TO 3; SET standard_conforming_strings TO on; "
               "SET client_min_messages TO warning"_s);
    // citext lives where its extension was made, usually public: keep it in reach whatever
    // schema the connection names.
    execScript(u"SELECT set_config('search_path', current_setting('search_path') || ', public', "
               "false) WHERE NOT 'public' = ANY (current_schemas(false))"_s);
    Result schema(PQexec(m_conn, "SELECT current_schema()"));
    check(schema.get());
    if (PQntuples(schema.get()) == 1 && !PQgetisnull(schema.get(), 0, 0))
        m_schema = QString::fromUtf8(PQgetvalue(schema.get(), 0, 0));
    loadCitextTypes();
}

PgConnection::~PgConnection()
{
    if (m_bulkLock)
        --g_bulkLocks;
    if (m_conn)
        PQfinish(m_conn);
}

void PgConnection::prepareTables()
{
    Result ext(PQexec(m_conn, "SELECT 1 FROM pg_extension WHERE extname = 'citext'"));
    check(ext.get());
    if (PQntuples(ext.get()) == 0) {
        // Two connections making it at once would collide on the server's catalogue: the
        // second waits for the first under a lock of the transaction, then finds it made.
        const QString failure = check(
                Result(PQexec(m_conn, "BEGIN; SELECT pg_advisory_xact_lock(16971, 0); CREATE "
                                      "EXTENSION IF NOT EXISTS citext SCHEMA public; COMMIT"))
                        .get());
        if (!failure.isEmpty())
            PQclear(PQexec(m_conn, "ROLLBACK"));
        if (!failure.isEmpty())
            throw Error(u"The server cannot give this database the case-insensitive text type "
                        "(the extension citext; a database owner can run \"CREATE EXTENSION "
                        "citext\"): %1"_s.arg(failure));
    }
    loadCitextTypes();
    // Two date functions of the embedded engine, so one check script runs on both: the day
    // number of a date, and a date moved by a step such as '+18 months'.
    execScript(u"CREATE OR REPLACE FUNCTION julianday(d date) RETURNS double precision "
               "LANGUAGE sql IMMUTABLE AS $$ SELECT (d - DATE '2000-01-01') + 2451544.5 $$; "
               "CREATE OR REPLACE FUNCTION date(d date, step text) RETURNS date "
               "LANGUAGE sql IMMUTABLE AS $$ SELECT (d + step::interval)::date $$"_s);
}

void PgConnection::loadCitextTypes()
{
    // The schema of citext is kept in reach whatever schema the connection names, so the tables
    // of every schema can use the type.
    execScript(u"SELECT set_config('search_path', current_setting('search_path') || ', ' || "
               "quote_ident(n.nspname), false) FROM pg_extension e JOIN pg_namespace n ON n.oid "
               "= e.extnamespace WHERE e.extname = 'citext' AND NOT n.nspname = ANY "
               "(current_schemas(false))"_s);
    m_citext.clear();
    Result r(PQexec(m_conn, "SELECT oid FROM pg_type WHERE typname = 'citext'"));
    check(r.get());
    for (int i = 0; i < PQntuples(r.get()); ++i)
        m_citext.insert(unsigned(std::strtoul(PQgetvalue(r.get(), i, 0), nullptr, 10)));
}

QString PgConnection::displayName() const
{
    const QString host = QString::fromUtf8(PQhost(m_conn));
    QString where = host.startsWith(u'/') ? host : host + u':' + QString::fromUtf8(PQport(m_conn));
    QString name = u"%1@%2/%3"_s.arg(QString::fromUtf8(PQuser(m_conn)), where,
                                     QString::fromUtf8(PQdb(m_conn)));
    if (!m_schema.isEmpty() && m_schema != u"public"_s)
        name += u" (%1)"_s.arg(m_schema);
    return name;
}

QString PgConnection::displayNameOf(const QString &uri)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return u"a server database"_s;
    QString user, host, port, dbname, schema;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString value = QString::fromUtf8(o->val);
        const QByteArray key(o->keyword);
        if (key == "user")
            user = value;
        else if (key == "host")
            host = value;
        else if (key == "port")
            port = value;
        else if (key == "dbname")
            dbname = value;
        else if (key == "options") {
            static const QRegularExpression path(u"search_path\\s*=\\s*([^\\s,]+)"_s);
            const auto m = path.match(value);
            if (m.hasMatch())
                schema = m.captured(1);
        }
    }
    PQconninfoFree(options);
    QString where = host.isEmpty() ? u"localhost"_s : host;
    if (!host.startsWith(u'/') && !port.isEmpty())
        where += u':' + port;
    QString name = (user.isEmpty() ? QString() : user + u'@') + where + u'/' + dbname;
    if (!schema.isEmpty() && schema != u"public"_s)
        name += u" (%1)"_s.arg(schema);
    return name;
}

namespace {

// The first half of the bulk lock's key: the program's own, so other users of advisory locks
// on the server do not meet it; the second half is the schema's.
constexpr int kBulkLockClass = 0x426d;

QString firstValue(PGconn *conn, const QByteArray &sql, const std::vector<QByteArray> &params = {})
{
    std::vector<const char *> values;
    for (const QByteArray &p : params)
        values.push_back(p.constData());
    Result r(PQexecParams(conn, sql.constData(), int(values.size()), nullptr, values.data(),
                          nullptr, nullptr, 0));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        throw Error(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    if (PQntuples(r.get()) < 1 || PQgetisnull(r.get(), 0, 0))
        return QString();
    return QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
}

} // namespace

QString PgConnection::takeBulkLock(const QString &command, const QString &host)
{
    const QByteArray key = QByteArray::number(kBulkLockClass);
    const QString taken = firstValue(
            m_conn, "SELECT pg_try_advisory_lock($1::int, hashtext(current_schema()))", {key});
    if (taken == u"t"_s) {
        // Who holds it, for the refusal of the next one: the program, the computer, the
        // command and when it started, in the connection's name.
        QString name = u"Brindlemark;%1;%2;%3"_s.arg(
                host, command, QDateTime::currentDateTime().toString(u"d MMM yyyy HH:mm"_s));
        QByteArray utf8 = name.toUtf8().left(63);
        firstValue(m_conn, "SELECT set_config('application_name', $1, false)", {utf8});
        if (!m_bulkLock)
            ++g_bulkLocks;
        m_bulkLock = true;
        return QString();
    }
    // The holder, as the server's activity view shows it.
    Result r(PQexecParams(
            m_conn,
            "SELECT a.usename, a.application_name, to_char(a.backend_start, 'DD Mon YYYY HH24:MI') "
            "FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = "
            "'advisory' AND l.granted AND l.classid = $1::oid AND l.objid = "
            "hashtext(current_schema())::oid AND l.objsubid = 2 AND l.database = (SELECT oid "
            "FROM pg_database WHERE datname = current_database())",
            1, nullptr, std::array<const char *, 1>{key.constData()}.data(), nullptr, nullptr, 0));
    QString user = u"another user"_s, where = u"another computer"_s, what = u"a command"_s,
            when = u"a moment ago"_s;
    if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) > 0) {
        user = QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
        const QStringList parts = QString::fromUtf8(PQgetvalue(r.get(), 0, 1)).split(u';');
        if (parts.size() == 4 && parts.at(0) == u"Brindlemark"_s) {
            where = parts.at(1);
            what = parts.at(2);
            when = parts.at(3);
        } else {
            when = QString::fromUtf8(PQgetvalue(r.get(), 0, 2));
        }
    }
    return u"The herd data is being changed by %1 on %2 (%3, started %4). Try again when it has "
           "finished."_s.arg(user, where, what, when);
}

void PgConnection::releaseBulkLock()
{
    if (!m_bulkLock)
        return;
    m_bulkLock = false;
    --g_bulkLocks;
    const QByteArray key = QByteArray::number(kBulkLockClass);
    try {
        firstValue(m_conn, "SELECT pg_advisory_unlock($1::int, hashtext(current_schema()))", {key});
        firstValue(m_conn, "SELECT set_config('application_name', 'Brindlemark', false)");
    } catch (const Error &) {
        // A lost connection has let the lock go with it.
    }
}

bool PgConnection::bulkLockHeld()
{
    return g_bulkLocks > 0;
}

bool PgConnection::mayWrite()
{
    // Without the tables (before init) the command itself says what is missing.
    return firstValue(m_conn, "SELECT to_regclass(quote_ident('104')) IS NULL OR "
                              "(has_table_privilege(quote_ident('104'), 'INSERT') AND "
                              "has_table_privilege(quote_ident('104'), 'DELETE'))")
           == u"t"_s;
}

QString PgConnection::user() const
{
    return QString::fromUtf8(PQuser(m_conn));
}

QByteArray PgConnection::nextName(const char *prefix)
{
    return prefix + QByteArray::number(++m_names);
}

StatementPtr PgConnection::prepare(const QString &sql, const QString &context)
{
    return std::make_unique<PgStatement>(*this, pgPlaceholders(sql), context,
                                         PgStatement::Mode::Rows);
}

StatementPtr PgConnection::prepareScan(const QString &sql, const QString &context)
{
    return std::make_unique<PgStatement>(*this, pgPlaceholders(sql), context,
                                         PgStatement::Mode::Scan);
}

StatementPtr PgConnection::prepareFirst(QString &script)
{
    QStringList statements = pgSplitScript(script);
    if (statements.isEmpty()) {
        script.clear();
        return nullptr;
    }
    const QString first = statements.takeFirst();
    script = statements.join(u";\n"_s);
    if (m_guard) {
        static const QRegularExpression control(
                u"^(?:\\s|--[^\\n]*\\n|/\\*.*?\\*/"
                u")*(BEGIN|START|COMMIT|END|ROLLBACK|ABORT|SAVEPOINT|"
                "RELEASE|PREPARE\\s+TRANSACTION)\\b"_s,
                QRegularExpression::CaseInsensitiveOption
                        | QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch m = control.match(first);
        if (m.hasMatch())
            throw Error(u"%1 is not allowed here: each line runs in a transaction of its own"_s.arg(
                    m.captured(1).toUpper()));
    }
    // A script is the user's own SQL, in the server's own dialect: taken as written.
    return std::make_unique<PgStatement>(*this, first, QString(), PgStatement::Mode::Rows);
}

void PgConnection::execScript(const QString &sql)
{
    Result r(PQexec(m_conn, sql.toUtf8().constData()));
    const QString failure = check(r.get());
    if (!failure.isEmpty())
        throw Error(failure);
}

void PgConnection::addFunction(const QString &name, int, TextFunction)
{
    throw Error(u"The function %1 cannot run on the herd database server"_s.arg(name));
}

void PgConnection::begin(Access access)
{
    // A transaction that reads sees one snapshot from its first statement to its end.
    check(Result(PQexec(m_conn, access == Access::Write
                                        ? "BEGIN"
                                        : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
                  .get());
    m_transaction = true;
}

void PgConnection::commit()
{
    checkTransaction();
    Result r(PQexec(m_conn, "COMMIT"));
    m_transaction = false;
    const QString failure = check(r.get());
    if (!failure.isEmpty())
        throw Error(failure);
    // The server answers a COMMIT of a transaction it had aborted with ROLLBACK.
    if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
        throw DatabaseError(
                u"the herd database rolled back the command's changes after an error"_s);
}

void PgConnection::rollback() noexcept
{
    m_transaction = false;
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

bool PgConnection::inTransaction() const
{
    return m_conn && PQtransactionStatus(m_conn) != PQTRANS_IDLE
           && PQtransactionStatus(m_conn) != PQTRANS_UNKNOWN;
}

void PgConnection::checkTransaction() const
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        throw DatabaseError(u"the connection to the herd database server was lost"_s);
    if (m_transaction && PQtransactionStatus(m_conn) == PQTRANS_INERROR)
        throw DatabaseError(
                u"the herd database rolled back the command's changes after an error"_s);
}

QString PgConnection::check(const PGresult *result) const
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_COPY_IN
        || status == PGRES_COPY_OUT || status == PGRES_EMPTY_QUERY)
        return QString();
    const QString message = serverMessage(result, m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw DatabaseError(
                u"the connection to the herd database server was lost (%1)"_s.arg(message));
    const QString cause
            = databaseCause(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr);
    if (!cause.isEmpty())
        throw DatabaseError(u"%1 (%2)"_s.arg(cause, message));
    return message;
}

std::unique_ptr<RowSink> PgConnection::rowSink(const QString &table, const QStringList &columns)
{
    return std::make_unique<PgRowSink>(*this, table, columns);
}

QStringList PgConnection::tables()
{
    QStringList names;
    StatementPtr stmt = prepare(
            u"SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') ORDER BY c.relname"_s);
    while (stmt->next())
        names << stmt->string(0);
    return names;
}

QList<Column> PgConnection::columns(const QString &table)
{
    QList<Column> result;
    StatementPtr stmt
            = prepare(u"SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.atttypid::bigint "
                      "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
                      "JOIN pg_namespace n ON n.oid = c.relnamespace "
                      "WHERE n.nspname = current_schema() AND c.relname = ?1 AND a.attnum > 0 "
                      "AND NOT a.attisdropped ORDER BY a.attnum"_s);
    stmt->bindText(1, table);
    while (stmt->next()) {
        Column c;
        c.name = stmt->string(0);
        QString type = stmt->string(1);
        if (type.startsWith(u"public."_s))
            type = type.mid(7);
        c.declaredType = type.toUpper();
        c.kind = kindOfOid(Oid(stmt->integer(2)), *this);
        c.comparison
                = isCitext(unsigned(stmt->integer(2))) ? Comparison::Caseless : Comparison::Exact;
        result << c;
    }
    return result;
}

QString PgConnection::columnType(ColumnKind kind) const
{
    switch (kind) {
    case ColumnKind::Integer:
        return u"BIGINT"_s;
    case ColumnKind::Real:
        return u"DOUBLE PRECISION"_s;
    case ColumnKind::Date:
        return u"DATE"_s;
    case ColumnKind::Boolean:
        return u"BOOLEAN"_s;
    default:
        return u"CITEXT"_s;
    }
}

QString PgConnection::daysBetween(const QString &later, const QString &earlier) const
{
    return u"(%1 - %2)"_s.arg(later, earlier);
}

QString PgConnection::rowKey() const
{
    return u"ctid"_s;
}

QString PgConnection::caseless() const
{
    return QString();
}

// ---------------------------------------------------------------------------------------------

namespace {

// Where the SQL text at `i` stops being a string, a quoted name, a comment or a dollar quote
// that starts there; `i` itself when none starts there.
qsizetype skipQuoted(const QString &sql, qsizetype i)
{
    const qsizetype n = sql.size();
    const QChar c = sql[i];
    if (c == u'\'' || c == u'"') {
        qsizetype j = i + 1;
        while (j < n) {
            if (sql[j] == c) {
                if (j + 1 < n && sql[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
        const qsizetype end = sql.indexOf(u'\n', i);
        return end < 0 ? n : end + 1;
    }
    if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
        int depth = 0;
        qsizetype j = i;
        while (j < n) {
            if (sql[j] == u'/' && j + 1 < n && sql[j + 1] == u'*') {
                ++depth;
                j += 2;
            } else if (sql[j] == u'*' && j + 1 < n && sql[j + 1] == u'/') {
                j += 2;
                if (--depth == 0)
                    return j;
            } else {
                ++j;
            }
        }
        return n;
    }
    if (c == u'$') {
        // $tag$ ... $tag$, where the tag is empty or a name.
        qsizetype j = i + 1;
        while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_'))
            ++j;
        if (j < n && sql[j] == u'$' && !(j > i + 1 && sql[i + 1].isDigit())) {
            const QString tag = sql.mid(i, j - i + 1);
            const qsizetype end = sql.indexOf(tag, j + 1);
            return end < 0 ? n : end + tag.size();
        }
    }
    return i;
}

} // namespace

QString pgPlaceholders(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    int next = 0;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype skipped = skipQuoted(sql, i);
        if (skipped != i) {
            out += QStringView(sql).mid(i, skipped - i);
            i = skipped;
            continue;
        }
        if (sql[i] == u'?') {
            if (i + 1 < n && sql[i + 1] == u'?') {
                out += u'?';
                i += 2;
                continue;
            }
            qsizetype j = i + 1;
            while (j < n && sql[j].isDigit())
                ++j;
            if (j > i + 1) {
                const int number = QStringView(sql).mid(i + 1, j - i - 1).toInt();
                next = std::max(next, number);
                out += u'$' + QString::number(number);
            } else {
                out += u'$' + QString::number(++next);
            }
            i = j;
            continue;
        }
        // A word: the row key "rowid" of the commands' own statements is the row's place here.
        if (sql[i].isLetter() || sql[i] == u'_') {
            qsizetype j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_' || sql[j] == u'$'))
                ++j;
            const QStringView word = QStringView(sql).mid(i, j - i);
            if (word.compare(u"rowid", Qt::CaseInsensitive) == 0)
                out += u"ctid"_s;
            else
                out += word;
            i = j;
            continue;
        }
        out += sql[i++];
    }
    return out;
}

QStringList pgSplitScript(const QString &script)
{
    QStringList statements;
    const qsizetype n = script.size();
    qsizetype start = 0;
    qsizetype i = 0;
    bool content = false;
    const auto take = [&](qsizetype end) {
        if (content)
            statements << script.mid(start, end - start).trimmed();
        content = false;
    };
    while (i < n) {
        const QChar c = script[i];
        const bool comment = (c == u'-' && i + 1 < n && script[i + 1] == u'-')
                             || (c == u'/' && i + 1 < n && script[i + 1] == u'*');
        const qsizetype skipped = skipQuoted(script, i);
        if (skipped != i) {
            if (!comment)
                content = true;
            i = skipped;
            continue;
        }
        if (c == u';') {
            take(i);
            start = ++i;
            continue;
        }
        if (!c.isSpace())
            content = true;
        ++i;
    }
    take(n);
    return statements;
}

} // namespace bm::db
