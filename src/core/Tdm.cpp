#include "Tdm.h"

#include "Layout.h"
#include "ProgressSink.h"
#include "Schema.h"
#include "SqliteConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVariant>

#include <atomic>
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

void Tdm::ConnectDB(ProgressSink *progress)
{
    close();
    const QString path = databasePath();
    m_connection = std::make_unique<db::SqliteConnection>(path);
    try {
        NullProgress none;
        upgradeSchema(*this, progress ? *progress : none);
    } catch (const Error &e) {
        m_connection.reset();
        throw Error(u"Cannot bring the herd database '%1' up to date: %2"_s.arg(
                QDir::toNativeSeparators(path), e.message()));
    }
}

void Tdm::close()
{
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
    try {
        // qRunSQL: the statement runner.
        Stmt qRunSQL = m_connection->prepare(strSQL);
        for (;;) {
            const db::Step step = qRunSQL->step();
            if (step == db::Step::Done)
                return true;
            if (step == db::Step::Refused) {
                m_lastError = qRunSQL->refusal();
                return false;
            }
        }
    } catch (const DatabaseError &) {
        throw;
    } catch (const Error &e) {
        m_lastError = e.message();
        return false;
    }
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
