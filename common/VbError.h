#pragma once

#include <QString>
#include <stdexcept>

// A failure with the number and description the program's internal-error
// message shows. The numbers are the classic run-time error numbers that the
// program has always reported, so support can tell failures apart.
class VbError : public std::runtime_error
{
public:
    enum Number {
        Overflow = 6,
        SubscriptOutOfRange = 9,
        TypeMismatch = 13,
        FileNotFound = 53,
        InputPastEndOfFile = 62,
        PathFileAccessError = 75,
        InvalidPropertyValue = 380,
    };

    VbError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number),
          m_description(description)
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};
