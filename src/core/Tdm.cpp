#include "Tdm.h"

#include "Layout.h"
#include "ProgressSink.h"
#include "Schema.h"
#include "TextFold.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace bm {

using namespace Qt::StringLiterals;

void StmtDeleter::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

namespace {
std::atomic<int> g_connectionNumber{0};
}

Tdm::Tdm(const QString &home, QObject *parent)
    : QObject(parent)
    , m_home(home.endsWith(u'/') ? home : home + u'/')
    , m_connectionName(u"bm-%1"_s.arg(++g_connectionNumber))
{}

Tdm::~Tdm()
{
    close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString Tdm::databasePath() const
{
    return m_home + u"Tembra.db"_s;
}

void Tdm::ConnectDB(ProgressSink *progress)
{
    close();
    const QString path = databasePath();
    if (!QFileInfo(path).isFile())
        throw Error(u"Could not find file '%1'"_s.arg(QDir::toNativeSeparators(path)));
    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
    if (!m_db.open())
        throw Error(m_db.lastError().text());
    const QVariant v = m_db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) {
        m_db.close();
        throw Error(u"The herd database driver gives no SQLite handle"_s);
    }
    m_handle = *static_cast<sqlite3 *const *>(v.constData());
    // A double-quoted name is always a name, never a string literal, so a probe of a missing
    // column fails instead of selecting a constant.
    sqlite3_db_config(handle(), SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(handle(), SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // Text compares without regard to case for every letter in our statements (TextFold.h).
    registerTextFold(handle());
    // The file must really be a database: SQLite opens lazily, so read its schema now.
    QSqlQuery probe(m_db);
    if (!probe.exec(u"SELECT count(*) FROM sqlite_master"_s)) {
        const QString message = probe.lastError().databaseText();
        m_db.close();
        throw Error(u"Cannot open the herd database '%1': %2"_s.arg(QDir::toNativeSeparators(path),
                                                                    message));
    }
    // The driver and the core must share one SQLite library, or the raw handle is unsafe.
    probe.exec(u"SELECT sqlite_version()"_s);
    if (probe.next() && probe.value(0).toString() != QString::fromLatin1(sqlite3_libversion())) {
        m_db.close();
        throw Error(u"The SQLite driver (%1) and the program (%2) use different SQLite "
                    "libraries"_s.arg(probe.value(0).toString(),
                                      QString::fromLatin1(sqlite3_libversion())));
    }
    try {
        NullProgress none;
        upgradeSchema(*this, progress ? *progress : none);
    } catch (const Error &e) {
        m_db.close();
        throw Error(u"Cannot bring the herd database '%1' up to date: %2"_s.arg(
                QDir::toNativeSeparators(path), e.message()));
    }
}

void Tdm::close()
{
    m_handle = nullptr;
    if (m_db.isOpen())
        m_db.close();
}

bool Tdm::isOpen() const
{
    return m_db.isOpen();
}

sqlite3 *Tdm::handle() const
{
    if (!m_handle || !m_db.isOpen())
        throw Error(u"The herd database is not open"_s);
    return m_handle;
}

bool Tdm::RunSQL(const QString &strSQL)
{
    m_lastError.clear();
    if (!m_db.isOpen()) {
        m_lastError = u"The herd database is not open"_s;
        return false;
    }
    checkTransaction();
    QSqlQuery qRunSQL(m_db);
    if (!qRunSQL.exec(strSQL)) {
        m_lastError = qRunSQL.lastError().databaseText();
        bool isCode = false;
        const int rc = qRunSQL.lastError().nativeErrorCode().toInt(&isCode);
        if (isCode)
            raiseIfDatabaseFailure(rc);
        checkTransaction();
        return false;
    }
    return true;
}

bool Tdm::FieldExists(const QString &TableName, const QString &FieldName)
{
    if (!m_db.isOpen())
        return false;
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql
            = (u"SELECT "_s + quoteId(FieldName) + u" FROM "_s + quoteId(TableName)).toUtf8();
    const int rc = sqlite3_prepare_v2(handle(), sql.constData(), int(sql.size()), &raw, nullptr);
    const Stmt qTemp(raw);
    return rc == SQLITE_OK && qTemp;
}

qint64 Tdm::GetRecordCount(const QString &strSQL)
{
    const qint64 n = countRows(strSQL);
    Q_EMIT browseReopenRequested();
    return n;
}

qint64 Tdm::countRows(const QString &query)
{
    // qTemp: the scratch query of counts and probes.
    Stmt qTemp = prepare(u"SELECT count(*) FROM ("_s + query + u")"_s);
    if (step(qTemp.get()) != SQLITE_ROW)
        throw Error(sqliteError());
    return sqlite3_column_int64(qTemp.get(), 0);
}

void Tdm::exec(const QString &sql)
{
    checkTransaction();
    run(sql);
}

void Tdm::run(const QString &sql)
{
    char *message = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_exec(handle(), utf8.constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "unknown error");
        sqlite3_free(message);
        raiseIfDatabaseFailure(rc);
        checkTransaction();
        throw Error(text);
    }
}

Stmt Tdm::prepare(const QString &sql, const QString &context)
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(handle(), utf8.constData(), int(utf8.size()), &raw, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(raw);
        raiseIfDatabaseFailure(rc);
        throw Error(context.isEmpty() ? sqliteError() : context + u": "_s + sqliteError());
    }
    return Stmt(raw);
}

int Tdm::step(sqlite3_stmt *stmt)
{
    checkTransaction();
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        return rc;
    raiseIfDatabaseFailure(rc);
    // The statement's own failure; SQLite may still have ended the transaction with it.
    checkTransaction();
    return rc;
}

void Tdm::checkTransaction()
{
    if (m_transactions > 0 && m_handle && sqlite3_get_autocommit(m_handle)) {
        QString cause = u"the herd database rolled back the command's changes after an error"_s;
        if (sqlite3_errcode(m_handle) != SQLITE_OK)
            cause += u" (%1)"_s.arg(sqliteError());
        throw DatabaseError(cause);
    }
}

void Tdm::raiseIfDatabaseFailure(int rc)
{
    if (isDatabaseFailure(rc))
        throw DatabaseError(databaseFailureCause(rc, m_handle));
}

QString Tdm::sqliteError() const
{
    return QString::fromUtf8(sqlite3_errmsg(handle()));
}

QStringList Tdm::columns(const QString &table)
{
    QStringList names;
    Stmt stmt = prepare(u"SELECT name FROM pragma_table_info(?1)"_s);
    const QByteArray t = table.toUtf8();
    sqlite3_bind_text(stmt.get(), 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        names << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 0)));
    return names;
}

QStringList Tdm::columnTypes(const QString &table)
{
    QStringList types;
    Stmt stmt = prepare(u"SELECT type FROM pragma_table_info(?1)"_s);
    const QByteArray t = table.toUtf8();
    sqlite3_bind_text(stmt.get(), 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(stmt.get()) == SQLITE_ROW)
        types << QString::fromUtf8(
                         reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), 0)))
                         .toUpper();
    return types;
}

qint64 Tdm::rowCount(const QString &table)
{
    Stmt stmt = prepare(u"SELECT count(*) FROM "_s + quoteId(table));
    if (step(stmt.get()) != SQLITE_ROW)
        throw Error(sqliteError());
    return sqlite3_column_int64(stmt.get(), 0);
}

bool Tdm::holdsRecords()
{
    for (const QString &code : recordTypeCodes()) {
        Stmt stmt = prepare(u"SELECT 1 FROM "_s + quoteId(code) + u" LIMIT 1"_s);
        const int rc = step(stmt.get());
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw Error(sqliteError());
    }
    return false;
}

bool Tdm::inTransaction() const
{
    return sqlite3_get_autocommit(handle()) == 0;
}

QString Tdm::quoteId(const QString &name)
{
    QString q = name;
    q.replace(u'"', u"\"\""_s);
    return u'"' + q + u'"';
}

// ---------------------------------------------------------------------------------------------

Transaction::Transaction(Tdm &dm)
    : m_dm(dm)
{
    m_dm.exec(u"BEGIN IMMEDIATE"_s);
    ++m_dm.m_transactions;
}

Transaction::~Transaction()
{
    if (m_done)
        return;
    --m_dm.m_transactions;
    // SQLite may already have rolled the transaction back by itself.
    if (m_dm.m_handle && !sqlite3_get_autocommit(m_dm.m_handle)) {
        try {
            m_dm.run(u"ROLLBACK"_s);
        } catch (const Error &) {
            // What could not be rolled back now is rolled back from the journal when the
            // database is next opened.
        }
    }
}

void Transaction::commit()
{
    m_dm.checkTransaction();
    m_dm.run(u"COMMIT"_s);
    --m_dm.m_transactions;
    m_done = true;
}

// ---------------------------------------------------------------------------------------------

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
        return u"disk I/O error"_s;
    }
    default:
        return QString::fromUtf8(sqlite3_errstr(rc));
    }
}

DatabaseError::DatabaseError(const QString &cause)
    : Error(cause.left(1).toUpper() + cause.mid(1)
            + u". The command was stopped and the herd data left as it was"_s)
    , m_cause(cause)
{}

// ---------------------------------------------------------------------------------------------

QString USADate(const QDate &s)
{
    return u"%1/%2/%3"_s.arg(s.month()).arg(s.day()).arg(s.year());
}

QString isoDate(const QDate &d)
{
    return u"%1-%2-%3"_s.arg(d.year(), 4, 10, QChar(u'0'))
            .arg(d.month(), 2, 10, QChar(u'0'))
            .arg(d.day(), 2, 10, QChar(u'0'));
}

QString shortDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_s)) {
        static const QRegularExpression twoDigitYear(u"(?<!y)yy(?!y)"_s);
        format.replace(twoDigitYear, u"yyyy"_s);
    }
    return format;
}

QString SQLDate(const QDate &s)
{
    return u'\'' + isoDate(s) + u'\'';
}

} // namespace bm
