#include "settings/Cipher.h"

#include "common/VbError.h"

namespace
{

QByteArray shift(const QByteArray& text, const QByteArray& key, int direction)
{
    const qsizetype keyLength = key.size();
    if (keyLength == 0)
        return text;
    if (text.size() > MaxCipherText)
        throw VbError(VbError::Overflow, QStringLiteral("Overflow"));
    QByteArray result(text.size(), '\0');
    for (qsizetype j = 0; j < text.size(); ++j) {
        const int c = static_cast<unsigned char>(text[j]);
        const int k = static_cast<unsigned char>(key[(j + 1) % keyLength]);
        result[j] = static_cast<char>((c + direction * k) & 0xFF);
    }
    return result;
}

} // namespace

QByteArray EncryptText(const QByteArray& text, const QByteArray& key)
{
    return shift(text, key, +1);
}

QByteArray DecryptText(const QByteArray& text, const QByteArray& key)
{
    return shift(text, key, -1);
}
