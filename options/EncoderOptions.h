#pragma once

#include "options/JobOptionTable.h"
#include "options/OutputFormats.h"

#include <QString>
#include <optional>

// The option part of the encoder's command line, composed from the values of
// the window's option controls.

enum class Corner { None, TopLeft, TopRight, BottomLeft, BottomRight };

struct CornerTexts {
    QString left;
    QString top;
};

// Where the watermark goes: top left is always 10, 10; a right-hand corner
// takes width - 350 when the width is over 400, else half the width (199.5 for
// 399); a bottom corner takes height - 50. No corner keeps the typed texts.
CornerTexts CornerRule(Corner corner, qint16 sourceWidth, qint16 sourceHeight,
                       const QString& typedLeft, const QString& typedTop);

struct FrameSize {
    qint16 width = 0;
    qint16 height = 0;
};
QString SizeText(FrameSize size); // "400x300"

struct EncoderControls {
    int videoBitrate = 0; // kbit/s
    FrameSize frameSize;
    int frameRate = 0;
    FlvFormat format = FlvFormat::Sorenson;
    bool watermark = false;
    QString colorName;
    QString fontFileName;
    QString fontSize;
    std::optional<qint16> alpha = 255; // none: the text it was read from is no number
    QString left;                      // the typed position, or the corner's
    QString top;
    QString watermarkText;
    bool disableAudio = false;
    int audioRate = 0; // Hz
    int audioBitrate = 0;
    int channels = 2;
};

// Sets the field of a fixed list (OptionKind::List) to the entry; a channels
// entry other than "Stereo" is one channel.
void SetListEntry(EncoderControls& controls, JobField field, const QString& entry);

// Where the watermark module and the fonts are: the application folder in the
// form the command line takes it (no blanks), the system folder holding
// "fonts", and the separator between path parts.
struct EncoderPaths {
    QString appShort;
    QString fontsRoot;
    QChar separator = u'/';
};

// " -b 225kb/s -s 400x300 -r 24 ... " (always a blank at both ends); the
// format adds its video words after the frame rate and, with audio, its audio
// words after the channels. The
// watermark piece is one double-quoted argument whose inner quotes and
// backslashes before quotes are escaped, so the text arrives exactly.
QString ComposeEncoderOptions(const EncoderControls& controls, const EncoderPaths& paths);
