#include "common/VbNumber.h"

#include "common/VbError.h"

#include <cmath>

namespace
{

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

VbInteger ParseVbInteger(const QString& text)
{
    VbInteger result;
    result.error = VbNumberError::TypeMismatch;

    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    // One comma after the digits is a thousands mark with nothing after it.
    if (end > begin && text[end - 1] == u',') {
        --end;
        while (end > begin && isBlank(text[end - 1]))
            --end;
    }
    if (begin == end)
        return result;

    qsizetype i = begin;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
        while (i < end && isBlank(text[i]))
            ++i;
    }
    double whole = 0;
    int digits = 0;
    while (i < end && text[i].isDigit() && text[i].unicode() < 128) {
        whole = whole * 10 + (text[i].unicode() - u'0');
        ++digits;
        ++i;
    }
    double fraction = 0;
    if (i < end && text[i] == u'.') {
        ++i;
        double scale = 0.1;
        while (i < end && text[i].isDigit() && text[i].unicode() < 128) {
            fraction += (text[i].unicode() - u'0') * scale;
            scale /= 10;
            ++digits;
            ++i;
        }
    }
    if (digits == 0 || i != end)
        return result;

    double value = whole + fraction;
    double rounded = std::nearbyint(value); // the default rounding mode is half to even
    if (negative)
        rounded = -rounded;
    if (rounded < -32768 || rounded > 32767) {
        result.error = VbNumberError::Overflow;
        return result;
    }
    result.value = static_cast<std::int16_t>(rounded);
    result.error = VbNumberError::None;
    return result;
}

std::int16_t CIntOrThrow(const QString& text)
{
    VbInteger n = ParseVbInteger(text);
    if (n.error == VbNumberError::Overflow)
        throw VbError(VbError::Overflow, QStringLiteral("Overflow"));
    if (!n.ok())
        throw VbError(VbError::TypeMismatch, QStringLiteral("Type mismatch"));
    return *n.value;
}
