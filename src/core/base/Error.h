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
