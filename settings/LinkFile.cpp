#include "settings/LinkFile.h"

#include "common/TextFile.h"
#include "common/VbError.h"
#include "settings/Cipher.h"

#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

QString ReadLinkFile(const QString& path)
{
    const std::optional<QByteArray> line = ReadFirstLine(path, MaxCipherText);
    if (!line)
        throw VbError(VbError::InputPastEndOfFile,
                      QStringLiteral("Input past end of file: ") + QFileInfo(path).fileName());
    return QString::fromLocal8Bit(DecryptText(*line, CipherKey));
}

qsizetype ScrambledLineBreakAt(const QByteArray& value)
{
    const QByteArray scrambled = EncryptText(value, CipherKey);
    const qsizetype cr = scrambled.indexOf('\r');
    const qsizetype lf = scrambled.indexOf('\n');
    if (cr < 0)
        return lf;
    if (lf < 0)
        return cr;
    return std::min(cr, lf);
}

QByteArray MakeLinkFile(const QString& target)
{
    const QByteArray bytes = target.toLocal8Bit();
    if (ScrambledValueBreaksLine(bytes))
        throw std::invalid_argument("the scrambled address would hold a line end");
    return EncryptText(bytes, CipherKey) + "\r\n";
}
