#pragma once

#include "options/EncoderOptions.h"

#include <QByteArray>
#include <QString>
#include <optional>

class QIODevice;

// Watermark settings files (*.wsx): six lines, each the scrambled bytes of one
// value (EncryptText with CipherKey) followed by CR LF. Nothing else is in the
// file. Users exchange these files, so the layout never changes:
//
//   line  value                         stored form             checked on load
//   1     watermark text                text as it stands       -
//   2     colour picker selection index plain decimal           16-bit whole number
//   3     opacity text                  text as it stands       -
//   4     corner code                   one digit, 1 to 4       a number; 1, 2, 3 or else 4
//   5     font list position            plain decimal, -1 none  16-bit, a position the list has
//   6     font size list position       plain decimal           16-bit, a position the list has
//
// Numbers are read with ParseVbInteger (blanks ignored, a fraction rounded half
// to even). Texts cross to bytes in the locale's 8-bit encoding.

// The file's code of a corner: 1 top left, 2 bottom left, 3 top right, 4 bottom right.
qint16 CornerFileCode(Corner corner);

struct WatermarkSettings {
    QString text;
    qint16 colorIndex = 0;
    QString alpha;
    Corner corner = Corner::BottomRight;
    qint16 fontIndex = -1;
    qint16 fontSizeIndex = -1;
};

// Why a value cannot go into a settings file. The format has no escaping: a
// value whose scrambled bytes hold CR or LF would break its line and shift
// every later value, and the cipher takes at most MaxCipherText bytes.
struct SettingsSaveProblem {
    enum Kind { None, TextBreaksLine, TextTooLong, AlphaBreaksLine, AlphaTooLong };
    Kind kind = None;
    // For TextBreaksLine: the first character of the text (a whole code point,
    // counted in QChar units from 0) whose bytes would scramble to a line end.
    qsizetype position = -1;
    QString character;
    explicit operator bool() const { return kind != None; }
};
SettingsSaveProblem CheckSettingsForSave(const WatermarkSettings& settings);

// The file's bytes. Throws std::invalid_argument for settings that
// CheckSettingsForSave refuses.
QByteArray EncodeSettingsFile(const WatermarkSettings& settings);

// Writes the bytes through a temporary file beside the target that replaces it
// only once complete and synced, so a failed save leaves an existing file as
// it was; the folder is synced after. False when anything fails (a failed
// folder sync too), and for a target that exists but is not a regular file.
bool WriteSettingsFile(const QString& path, const QByteArray& bytes);

// What a load applies: the values of the lines read before the first line that
// cannot be applied, in file order. A short file yields the lines it has.
// complete is true when the whole file was read without such a line; only then
// does the load switch the watermark on.
struct LoadedSettings {
    std::optional<QString> text;
    std::optional<qint16> colorIndex;
    std::optional<QString> alpha;
    std::optional<Corner> corner;
    std::optional<qint16> fontIndex;
    std::optional<qint16> fontSizeIndex;
    bool complete = false;
};

// Reads a settings file from the device. fontCount and fontSizeCount are the
// lengths of the two lists; a position they do not have (other than -1 for
// "none") cannot be applied. Lines end at CR LF or a CR alone; a LF alone
// belongs to its line. Lines after the sixth are read and ignored, but more
// than 32767 lines in all end the load as incomplete. Memory stays small
// whatever the file holds.
LoadedSettings ReadSettings(QIODevice& device, int fontCount, int fontSizeCount);
LoadedSettings DecodeSettingsFile(const QByteArray& data, int fontCount, int fontSizeCount);
