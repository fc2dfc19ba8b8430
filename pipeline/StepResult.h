#pragma once

#include <QMetaType>
#include <QString>

// How one step of a conversion job ended. Beside each value, the words the
// window shows for it (two say nothing: the probe's end, and a good encode,
// for which the injection that follows speaks).
enum class StepOutcome {
    Probed,          // (nothing)
    Encoded,         // (nothing)
    EncodingFailed,  // "ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/IMPROPER/..."
    Converted,       // "FLV CONVERSION SUCCESSFUL!"
    InjectionFailed, // "FLV METADATA INJECTION FAILED!"
    StillsGenerated, // "IMAGE(S) GENERATED!"
    StillsFailed,    // "IMAGE GENERATION FAILED!"
    CannotStart,     // "CANNOT START FFMPEG! NO SUCH FILE OR DIRECTORY." (program, reason)
    Cancelled,       // "CONVERSION CANCELLED!"
};

struct StepResult {
    StepOutcome outcome = StepOutcome::Probed;
    QString text;    // the window's words; empty when it says nothing
    QString details; // a failure's: the program's last lines and the log's path

    // The window's words for an outcome ("" for CannotStart, whose text
    // names the program).
    static QString TextOf(StepOutcome outcome);
    bool IsFailure() const;
    // How the window shows it: style 16 "Error" for a failure, else 64
    // "Message".
    int Style() const;
    QString Title() const;
};
Q_DECLARE_METATYPE(StepResult)
