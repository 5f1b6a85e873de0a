#include "Error.h"

namespace bm {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() <= u'.')
        return message;
    return message + u'.';
}

} // namespace bm

namespace bm::db {

using namespace Qt::StringLiterals;

DatabaseError::DatabaseError(const QString &cause, const QString &words)
    : Error(cause.left(1).toUpper() + cause.mid(1)
            + u". The command was stopped and the herd data left as it was"_s)
    , m_cause(cause)
    , m_words(words)
{}

} // namespace bm::db
