#include "Tdm.h"

#include "PgConnection.h"
#include "ProgressSink.h"
#include "RecordTypes.h"
#include "SchemaUpgrade.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVariant>

#include <sqlite3.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace bm {

using namespace Qt::StringLiterals;

Tdm::Tdm(const QString &home, QObject *parent)
    : QObject(parent)
    , m_home(home.endsWith(u'/') ? home : home + u'/')
{}

Tdm::~Tdm() = default;

QString Tdm::databasePath() const
{
    return m_home + u"Tembra.db"_s;
}

QString Tdm::databaseName() const
{
    if (m_connection)
        return m_connection->displayName();
    return onServer() ? db::PgConnection::displayNameOf(m_server)
                      : QDir::toNativeSeparators(databasePath());
}

void Tdm::ConnectDB(ProgressSink *progress)
{
    close();
    if (onServer()) {
        m_connection = std::make_unique<db::PgConnection>(m_server);
        const QStringList present = m_connection->tables();
        for (const QString &code : recordTypeCodes()) {
            if (!present.contains(code)) {
                const QString name = m_connection->displayName();
                m_connection.reset();
                throw Error(u"The herd database %1 has no table %2: run init to create its "
                            "tables"_s.arg(name, code));
            }
        }
        return;
    }
    const QString path = databasePath();
    m_connection = std::make_unique<db::SqliteConnection>(path);
    trackChanges();
    try {
        NullProgress none;
        upgradeSchema(*this, progress ? *progress : none);
    } catch (const Error &e) {
        m_connection.reset();
        throw Error(u"Cannot bring the herd database '%1' up to date: %2"_s.arg(
                QDir::toNativeSeparators(path), e.message()));
    }
    // A database that cannot be written (read-only) goes without: nothing can change it here.
    ensureGenerationTable(handle());
}

void Tdm::close()
{
    if (m_connection && m_connection->engine() == db::Engine::SQLite) {
        sqlite3 *h = handle();
        sqlite3_update_hook(h, nullptr, nullptr);
        sqlite3_commit_hook(h, nullptr, nullptr);
        sqlite3_rollback_hook(h, nullptr, nullptr);
        static_cast<db::SqliteConnection &>(*m_connection).setAuthorizer(nullptr, nullptr);
    }
    m_changes = 0;
    m_stamped = false;
    m_unstamped = false;
    m_connection.reset();
}

db::Connection &Tdm::connection() const
{
    if (!m_connection)
        throw Error(u"The herd database is not open"_s);
    return *m_connection;
}

bool Tdm::RunSQL(const QString &strSQL)
{
    m_lastError.clear();
    if (!m_connection) {
        m_lastError = u"The herd database is not open"_s;
        return false;
    }
    bool done = false;
    try {
        // qRunSQL: the statement runner.
        Stmt qRunSQL = m_connection->prepare(strSQL);
        for (;;) {
            const db::Step step = qRunSQL->step();
            if (step == db::Step::Done) {
                done = true;
                break;
            }
            if (step == db::Step::Refused) {
                m_lastError = qRunSQL->refusal();
                break;
            }
        }
    } catch (const DatabaseError &) {
        throw;
    } catch (const Error &e) {
        m_lastError = e.message();
    }
    stampUnstamped();
    return done;
}

qint64 Tdm::exec(const QString &sql)
{
    qint64 changed = 0;
    try {
        changed = connection().exec(sql);
    } catch (const Error &) {
        try {
            stampUnstamped();
        } catch (const Error &) {
            // The statement's own failure is the one to tell.
        }
        throw;
    }
    stampUnstamped();
    return changed;
}

sqlite3 *Tdm::handle() const
{
    return db::sqliteHandle(connection());
}

bool Tdm::FieldExists(const QString &TableName, const QString &FieldName)
{
    if (!m_connection)
        return false;
    try {
        // qTemp: the scratch query of counts and probes.
        const Stmt qTemp = m_connection->prepare(u"SELECT "_s + quoteId(FieldName) + u" FROM "_s
                                                 + quoteId(TableName));
        return qTemp != nullptr;
    } catch (const DatabaseError &) {
        throw;
    } catch (const Error &) {
        return false;
    }
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
    Stmt qTemp = prepare(u"SELECT count(*) FROM ("_s + query + u") AS counted"_s);
    if (!qTemp->next())
        throw Error(u"The count of rows gave no answer"_s);
    return qTemp->integer(0);
}

QStringList Tdm::columns(const QString &table)
{
    QStringList names;
    for (const db::Column &c : connection().columns(table))
        names << c.name;
    return names;
}

QStringList Tdm::columnTypes(const QString &table)
{
    QStringList types;
    for (const db::Column &c : connection().columns(table))
        types << c.declaredType;
    return types;
}

qint64 Tdm::rowCount(const QString &table)
{
    Stmt stmt = prepare(u"SELECT count(*) FROM "_s + quoteId(table));
    if (!stmt->next())
        throw Error(u"The count of rows gave no answer"_s);
    return stmt->integer(0);
}

bool Tdm::holdsRecords()
{
    for (const QString &code : recordTypeCodes()) {
        Stmt stmt = prepare(u"SELECT 1 FROM "_s + quoteId(code) + u" LIMIT 1"_s);
        if (stmt->next())
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Changes to the herd data

namespace {

// The tables of the herd data: one per record type. MergeCow, the generation and temporary
// tables are the program's own. On the path of every row an import writes: a table of three
// digits is looked up by its number.
bool isHerdTable(const char *db, const char *table)
{
    if (!table || !db || std::strcmp(db, "main") != 0)
        return false;
    static const std::array<bool, 1000> codes = [] {
        std::array<bool, 1000> set{};
        for (const QString &code : recordTypeCodes())
            set[size_t(code.toInt())] = true;
        return set;
    }();
    const auto digit = [](char c) {
        return c >= '0' && c <= '9';
    };
    if (!digit(table[0]) || !digit(table[1]) || !digit(table[2]) || table[3] != '\0')
        return false;
    return codes[size_t((table[0] - '0') * 100 + (table[1] - '0') * 10 + (table[2] - '0'))];
}

} // namespace

void Tdm::trackChanges()
{
    m_changes = 0;
    m_stamped = false;
    m_unstamped = false;
    sqlite3 *h = handle();
    sqlite3_update_hook(h, &Tdm::onUpdate, this);
    sqlite3_commit_hook(h, &Tdm::onCommit, this);
    sqlite3_rollback_hook(h, &Tdm::onRollback, this);
    static_cast<db::SqliteConnection &>(*m_connection).setAuthorizer(&Tdm::authorize, this);
}

void Tdm::onUpdate(void *self, int, const char *db, const char *table, qint64)
{
    if (isHerdTable(db, table))
        ++static_cast<Tdm *>(self)->m_changes;
}

int Tdm::onCommit(void *self)
{
    auto *dm = static_cast<Tdm *>(self);
    if (dm->m_changes > 0 && !dm->m_stamped)
        dm->m_unstamped = true;
    if (dm->m_stamped && !dm->m_stampPoint.isEmpty())
        ++dm->m_pointStamps[dm->m_stampPoint];
    dm->m_changes = 0;
    dm->m_stamped = false;
    return 0; // the commit goes ahead
}

void Tdm::onRollback(void *self)
{
    auto *dm = static_cast<Tdm *>(self);
    dm->m_changes = 0;
    dm->m_stamped = false;
}

int Tdm::authorize(void *self, int action, const char *a, const char *b, const char *db,
                   const char *trigger)
{
    auto *dm = static_cast<Tdm *>(self);
    if (dm->m_rules) {
        QString why;
        const int verdict = dm->m_rules(dm->m_rulesContext, action, a, b, db, trigger, why);
        if (verdict == SQLITE_DENY)
            dm->m_denied = why;
        if (verdict != SQLITE_OK)
            return verdict;
    }
    // A delete of a whole record-type table would otherwise empty it at once, unseen by the
    // update hook. Dropping a table asks about a delete of it right after the drop: that one
    // goes ahead.
    switch (action) {
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TEMP_TABLE:
        dm->m_dropping = QByteArray(a ? a : "");
        return SQLITE_OK;
    case SQLITE_DELETE: {
        if (!isHerdTable(db ? db : "main", a))
            return SQLITE_OK;
        const bool dropped = dm->m_dropping == a;
        dm->m_dropping.clear();
        return dropped || dm->m_allowTruncate ? SQLITE_OK : SQLITE_IGNORE;
    }
    default:
        dm->m_dropping.clear();
        return SQLITE_OK;
    }
}

void Tdm::setStatementRules(StatementRules rules, void *context)
{
    m_rules = rules;
    m_rulesContext = context;
    m_denied.clear();
}

void Tdm::stampChanges()
{
    // The data generation is kept for the undo states of Tembra.db; a server keeps none.
    if (m_changes == 0 || m_stamped || connection().engine() != db::Engine::SQLite)
        return;
    const auto &[change, point]
            = m_sources.isEmpty() ? std::pair<QString, QString>() : m_sources.constLast();
    const int rc = writeStamp(handle(), change.isEmpty() ? u"a change"_s : change, point);
    if (rc != SQLITE_OK) {
        const QString words = QString::fromUtf8(sqlite3_errmsg(handle()));
        if (db::isDatabaseFailure(rc))
            throw DatabaseError(db::databaseFailureCause(rc, handle()), words);
        throw Error(u"Cannot write the data generation of the herd database: %1"_s.arg(words));
    }
    m_stamped = true;
    m_stampPoint = point;
}

void Tdm::stampUnstamped()
{
    if (!m_unstamped || !m_connection || m_connection->inTransaction())
        return;
    Transaction transaction(*this);
    m_changes = 1; // what was committed without its stamp
    transaction.commit();
    m_unstamped = false;
}

DataStamp Tdm::dataStamp()
{
    stampUnstamped();
    QString why;
    const std::optional<DataStamp> stamp = readStamp(handle(), &why);
    if (!stamp)
        throw Error(u"Cannot read the data generation of the herd database: %1"_s.arg(why));
    return *stamp;
}

void Tdm::emptyTable(const QString &table)
{
    m_allowTruncate = true;
    Stmt stmt;
    try {
        stmt = prepare(u"DELETE FROM "_s + quoteId(table));
    } catch (...) {
        m_allowTruncate = false;
        throw;
    }
    m_allowTruncate = false;
    const qint64 seen = m_changes;
    const qint64 removed = stmt->run();
    // The one statement whose rows the update hook does not see: a table emptied at once.
    if (m_changes == seen && isHerdTable("main", table.toUtf8().constData()))
        m_changes += removed;
}

ChangeSource::ChangeSource(Tdm &dm, const QString &change, const QString &point)
    : m_dm(dm)
{
    m_dm.m_sources.append({change, point});
}

ChangeSource::~ChangeSource()
{
    m_dm.m_sources.removeLast();
}

// ---------------------------------------------------------------------------------------------

QString USADate(const QDate &s)
{
    return u"%1/%2/%3"_s.arg(s.month()).arg(s.day()).arg(s.year());
}

QString isoDate(const QDate &d)
{
    return QString::fromLatin1(storedDate(d));
}

QString SQLDate(const QDate &s)
{
    return u'\'' + isoDate(s) + u'\'';
}

} // namespace bm
