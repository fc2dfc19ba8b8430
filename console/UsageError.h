#pragma once

#include <QString>
#include <stdexcept>

// Bad usage: the program says why on one line and exits with status 2 before
// anything starts.
class UsageError : public std::runtime_error
{
public:
    explicit UsageError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};
