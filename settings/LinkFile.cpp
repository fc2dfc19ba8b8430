#include "settings/LinkFile.h"

#include "common/VbError.h"
#include "options/Catalogs.h"
#include "settings/Cipher.h"

#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

QString ReadLinkFile(const QString& path)
{
    const QList<QByteArray> lines = SplitCatalogLines(ReadCatalogFile(path));
    if (lines.isEmpty())
        throw VbError(VbError::InputPastEndOfFile,
                      QStringLiteral("Input past end of file: ") + QFileInfo(path).fileName());
    return QString::fromLocal8Bit(DecryptText(lines.first(), CipherKey));
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
