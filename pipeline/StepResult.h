#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <optional>

// The steps of a conversion, in the order they run: the source probe (with a
// watermark), the encode, the metadata injection (after a good encode) and the
// stills (when asked for, whatever became of the encode). A stream to servers
// takes the encode's place and is all there is after the probe.
enum class JobStep { Probe, Encode, Inject, Stills, Stream };

// "probe", "encode", "inject", "stills", "stream": each step's own name.
QString StepName(JobStep step);
// "Encoding the video...": what the user reads while the step runs.
QString StepCaption(JobStep step);

// How one step of a conversion job ended. Beside each value, the words the
// job has for it (two say nothing: the probe's end, and a good encode, for
// which the injection that follows speaks).
enum class StepOutcome {
    Probed,          // (nothing)
    Encoded,         // (nothing)
    EncodingFailed,  // "ENCODING FAILED! POSSIBLE REASON IS A DAMAGED/IMPROPER/..."
    Converted,       // "FLV CONVERSION SUCCESSFUL!"
    InjectionFailed, // "FLV METADATA INJECTION FAILED!"
    StillsGenerated, // "IMAGE(S) GENERATED!"
    StillsFailed,    // "IMAGE GENERATION FAILED!"
    CannotStart,     // "CANNOT START FFMPEG! NO SUCH FILE OR DIRECTORY." (program, reason)
    Cancelled,       // "CONVERSION CANCELLED!" ("STREAMING STOPPED!" for a stream)
    Streamed,        // "STREAMING FINISHED!": every destination got the whole stream
    StreamedInPart,  // some destinations did: names the others and why
    StreamFailed,    // none did: names each and why, or the encoding's failure
};

struct StepResult {
    JobStep step = JobStep::Probe;
    StepOutcome outcome = StepOutcome::Probed;
    QString text;    // the words for the user; empty when there are none
    QString details; // a failure's: the program's last lines and the log's path

    // The words for an outcome ("" for CannotStart, whose text names the
    // program).
    static QString TextOf(StepOutcome outcome);
    bool IsFailure() const;
};
Q_DECLARE_METATYPE(StepResult)

enum class JobResult { Converted, Failed, Cancelled, Refused, Skipped, Streamed };

// "converted", "failed", "cancelled", "refused", "skipped", "streamed".
QString ResultName(JobResult result);

// How one job ended, reported once.
struct JobOutcome {
    JobResult result = JobResult::Converted;
    // The exit code of the program whose step failed first (2^31 + the
    // signal for a crash); 0 when none did; none when no program ran to its
    // end for it (refused, skipped, cancelled, or one that could not start).
    std::optional<quint32> exitCode;
    QList<StepResult> steps; // the steps that ran, in order
    // Refused: why; skipped: the output that is there; a job stopped before
    // it started: "stopped before it started".
    QString note;
    QString logPath; // empty when not known
    // The option part of the last encode command.
    QString encoderOptions;
    // The source's frame size as the request brought it in and the probe found
    // it.
    qint16 sourceWidth = 0;
    qint16 sourceHeight = 0;

    bool Converted() const; // the FLV was made and has its metadata
    QString Words() const;  // the steps' words, one after the other
};
Q_DECLARE_METATYPE(JobOutcome)
