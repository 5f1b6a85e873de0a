#include "Database.h"

#include "StoredDate.h"

namespace bm::db {

using namespace Qt::StringLiterals;

void Statement::bindText(int parameter, const QString &text)
{
    bindText(parameter, QByteArrayView(text.toUtf8()));
}

void Statement::bindDate(int parameter, const QDate &date)
{
    if (!date.isValid())
        bindNull(parameter);
    else
        bindText(parameter, QByteArrayView(storedDate(date)));
}

void Statement::bindValue(int parameter, const QVariant &value)
{
    if (value.isNull()) {
        bindNull(parameter);
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        bindInteger(parameter, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        bindReal(parameter, value.toDouble());
        break;
    case QMetaType::QDate:
        bindDate(parameter, value.toDate());
        break;
    default:
        bindText(parameter, value.toString());
        break;
    }
}

bool Statement::next()
{
    switch (step()) {
    case Step::Row:
        return true;
    case Step::Done:
        return false;
    case Step::Refused:
        break;
    }
    throw Error(refusal());
}

qint64 Statement::run()
{
    while (next()) {
    }
    const qint64 n = changes();
    reset();
    return n;
}

qint64 Connection::exec(const QString &sql)
{
    QString rest = sql;
    qint64 changes = 0;
    while (StatementPtr stmt = prepareFirst(rest))
        changes += stmt->run();
    return changes;
}

QString Connection::dateLiteral(const QDate &date) const
{
    // Both engines read ISO text as a date.
    return u'\'' + QString::fromLatin1(storedDate(date)) + u'\'';
}

QString Connection::quoteId(const QString &name)
{
    QString q = name;
    q.replace(u'"', u"\"\""_s);
    return u'"' + q + u'"';
}

Transaction::Transaction(Connection &connection, Access access)
    : m_connection(connection)
{
    m_connection.begin(access);
}

Transaction::~Transaction()
{
    if (!m_done)
        m_connection.rollback();
}

void Transaction::commit()
{
    m_connection.commit();
    m_done = true;
}

} // namespace bm::db
