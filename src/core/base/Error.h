#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace bm {

// The one error type that ends a command. It carries the message the user sees; every command
// entry point (a window's handler, a CLI command) catches it at its top.
class Error : public std::exception
{
public:
    explicit Error(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {}
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Text of the standard error box: the message with "." appended unless its last character
// sorts at or before "." in character code order.
QString errorBoxText(const QString &message);

} // namespace bm

namespace bm::db {

// A failure of the database itself (full, unreadable, read-only, locked, damaged, out of
// memory, gone away). It ends the command; the command's Transaction is rolled back as the
// error leaves it, so the herd data stays as it was before the command. The engines raise it;
// it is declared with Error so that code reading rows through a RowReader (the writers) can let
// it pass unchanged without knowing the database.
class DatabaseError : public Error
{
public:
    // `words`: the engine's own words for it, where it has any.
    explicit DatabaseError(const QString &cause, const QString &words = QString());
    const QString &cause() const { return m_cause; }
    // The engine's own words, else the cause.
    const QString &words() const { return m_words.isEmpty() ? m_cause : m_words; }

private:
    QString m_cause;
    QString m_words;
};

} // namespace bm::db
