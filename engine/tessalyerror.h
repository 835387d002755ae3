#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one error type of the program: it carries the text that the user is shown.
// Commands let it travel up to their edge, where it becomes a message.
class TessalyError : public std::exception
{
public:
    explicit TessalyError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
