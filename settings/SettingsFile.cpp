#include "settings/SettingsFile.h"

#include "common/LineReader.h"
#include "common/VbNumber.h"
#include "settings/Cipher.h"
#include "settings/LinkFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>
#include <algorithm>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace
{

constexpr int ValueLines = 6;
constexpr qint16 LastLineCount = 32767; // the line counter is 16-bit

bool hasFraction(const QString& number)
{
    const qsizetype dot = number.indexOf(u'.');
    if (dot < 0)
        return false;
    for (qsizetype i = dot + 1; i < number.size() && number[i].isDigit(); ++i) {
        if (number[i] != u'0')
            return true;
    }
    return false;
}

// The corners in the order of their codes, from 1.
const Corner FileCorners[] = {Corner::TopLeft, Corner::BottomLeft, Corner::TopRight,
                              Corner::BottomRight};

// The corner line is compared as a number with 1, 2 and 3; any other number
// means bottom right, and a text that is no number cannot be applied.
std::optional<Corner> cornerFromText(const QString& text)
{
    const VbInteger n = ParseVbInteger(text);
    if (n.error == VbNumberError::TypeMismatch)
        return std::nullopt;
    if (n.ok() && !hasFraction(text) && *n.value >= 1 && *n.value <= 3)
        return FileCorners[*n.value - 1];
    return Corner::BottomRight;
}

// A list position: a 16-bit number from -1 (nothing selected) to count - 1.
std::optional<qint16> listPosition(const QString& text, int count)
{
    const VbInteger n = ParseVbInteger(text);
    if (!n.ok() || *n.value < -1 || *n.value >= count)
        return std::nullopt;
    return *n.value;
}

// Applies one unscrambled line; false when it cannot be applied.
bool applyLine(LoadedSettings& loaded, int index, const QByteArray& value, int fontCount,
               int fontSizeCount)
{
    const QString text = QString::fromLocal8Bit(value);
    switch (index) {
    case 0:
        loaded.text = text;
        return true;
    case 1: {
        const VbInteger n = ParseVbInteger(text);
        if (!n.ok())
            return false;
        loaded.colorIndex = *n.value;
        return true;
    }
    case 2:
        loaded.alpha = text;
        return true;
    case 3:
        loaded.corner = cornerFromText(text);
        return loaded.corner.has_value();
    case 4:
        loaded.fontIndex = listPosition(text, fontCount);
        return loaded.fontIndex.has_value();
    case 5:
        loaded.fontSizeIndex = listPosition(text, fontSizeCount);
        return loaded.fontSizeIndex.has_value();
    default:
        return true;
    }
}

QList<QByteArray> valueBytes(const WatermarkSettings& settings)
{
    return {settings.text.toLocal8Bit(),
            QByteArray::number(settings.colorIndex),
            settings.alpha.toLocal8Bit(),
            QByteArray::number(CornerFileCode(settings.corner)),
            QByteArray::number(settings.fontIndex),
            QByteArray::number(settings.fontSizeIndex)};
}

} // namespace

qint16 CornerFileCode(Corner corner)
{
    return qint16(std::find(std::begin(FileCorners), std::end(FileCorners), corner) -
                  std::begin(FileCorners) + 1);
}

SettingsSaveProblem CheckSettingsForSave(const WatermarkSettings& settings)
{
    SettingsSaveProblem problem;
    const QByteArray text = settings.text.toLocal8Bit();
    if (text.size() > MaxCipherText) {
        problem.kind = SettingsSaveProblem::TextTooLong;
        return problem;
    }
    const qsizetype breakAt = ScrambledLineBreakAt(text);
    if (breakAt >= 0) {
        problem.kind = SettingsSaveProblem::TextBreaksLine;
        // Walk the text by whole characters to find the one holding that byte.
        qsizetype bytes = 0;
        for (qsizetype i = 0; i < settings.text.size();) {
            const qsizetype units = settings.text[i].isHighSurrogate() &&
                                            i + 1 < settings.text.size() &&
                                            settings.text[i + 1].isLowSurrogate()
                                        ? 2
                                        : 1;
            const QString character = settings.text.mid(i, units);
            bytes += character.toLocal8Bit().size();
            if (bytes > breakAt) {
                problem.position = i;
                problem.character = character;
                break;
            }
            i += units;
        }
        return problem;
    }
    const QByteArray alpha = settings.alpha.toLocal8Bit();
    if (alpha.size() > MaxCipherText)
        problem.kind = SettingsSaveProblem::AlphaTooLong;
    else if (ScrambledValueBreaksLine(alpha))
        problem.kind = SettingsSaveProblem::AlphaBreaksLine;
    return problem;
}

QByteArray EncodeSettingsFile(const WatermarkSettings& settings)
{
    if (CheckSettingsForSave(settings))
        throw std::invalid_argument("a value cannot be kept in a settings file");
    QByteArray file;
    for (const QByteArray& value : valueBytes(settings)) {
        file += EncryptText(value, CipherKey);
        file += "\r\n";
    }
    return file;
}

bool WriteSettingsFile(const QString& path, const QByteArray& bytes)
{
    // Only a regular file is ever replaced: never a folder, a device or a pipe.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return false;
    QSaveFile file(path);
    // Unbuffered, so that a failed write (a full disk, a size limit) is seen
    // here rather than lost in the flush at the commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Without a commit the temporary file is removed and the target stays as it was.
    if (file.write(bytes) != bytes.size())
        return false;
    // The commit syncs the new file before it takes the name; the folder is
    // synced after, so that the new name survives a power cut as well.
    if (!file.commit())
        return false;
    const int folder = ::open(QFile::encodeName(target.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return synced;
}

LoadedSettings ReadSettings(QIODevice& device, int fontCount, int fontSizeCount)
{
    LoadedSettings loaded;
    LineReader reader(device);
    QByteArray line;
    for (qint16 counter = 0;; ++counter) {
        const bool valueLine = counter < ValueLines;
        const LineReader::Result result =
            reader.next(valueLine ? &line : nullptr, valueLine ? MaxCipherText : 0);
        if (result == LineReader::End) {
            loaded.complete = true;
            return loaded;
        }
        // A value line too long for the cipher cannot be unscrambled.
        if (result != LineReader::Line)
            return loaded;
        if (valueLine &&
            !applyLine(loaded, counter, DecryptText(line, CipherKey), fontCount, fontSizeCount))
            return loaded;
        if (counter == LastLineCount)
            return loaded;
    }
}

LoadedSettings DecodeSettingsFile(const QByteArray& data, int fontCount, int fontSizeCount)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return ReadSettings(buffer, fontCount, fontSizeCount);
}
