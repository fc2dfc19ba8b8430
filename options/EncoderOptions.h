#pragma once

#include <QString>

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

// The kind of FLV written: Sorenson Spark video and MP3 audio, as Flash
// Player 6 and later play it, or H.264 and AAC, as browsers and streaming
// servers take it.
enum class FlvFormat { Sorenson, H264 };

struct EncoderControls {
    QString videoBitrate;   // cmbVideoBitrate
    QString videoWindow;    // cmbVideoWindow
    QString videoFrameRate; // cmbVideoFrameRate
    bool watermark = false; // chkWatermark
    QString colorName;      // ccbWatermarkColor
    QString fontFileName;   // cmbFontFileName
    QString fontSize;       // cmbFontSize
    qint16 alpha = 255;     // txtAlpha, already read as a number
    QString left;           // txtLeft after the corner rule
    QString top;            // txtTop after the corner rule
    QString watermarkText;  // txtWatermark
    bool disableAudio = false;
    QString audioSampling;
    QString audioBitrate;
    QString audioChannel;
    FlvFormat format = FlvFormat::Sorenson; // the Format menu
};

// Where the watermark module and the fonts are: the application folder in the
// form the command line takes it (no blanks), the system folder holding
// "fonts", and the separator between path parts.
struct EncoderPaths {
    QString appShort;
    QString windowsDir;
    QChar separator = u'/';
};

// " -b 225kb/s -s 400x300 -r 24 ... " (always a blank at both ends); H.264
// adds "-vcodec libx264 " after the frame rate and, with audio,
// "-acodec libfaac " after the channels. The
// watermark piece is one double-quoted argument whose inner quotes and
// backslashes before quotes are escaped, so the text arrives exactly.
QString ComposeEncoderOptions(const EncoderControls& controls, const EncoderPaths& paths);
