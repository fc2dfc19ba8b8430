#include "pipeline/StepResult.h"

QString StepName(JobStep step)
{
    static const char* const names[] = {"probe", "encode", "inject", "stills", "stream"};
    return QLatin1String(names[static_cast<int>(step)]);
}

QString StepCaption(JobStep step)
{
    static const char* const captions[] = {"Reading the source video...", "Encoding the video...",
                                           "Adding the metadata...", "Grabbing the still images...",
                                           "Streaming the video..."};
    return QLatin1String(captions[static_cast<int>(step)]);
}

QString StepResult::TextOf(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::EncodingFailed:
        return QStringLiteral("ENCODING FAILED! POSSIBLE REASON IS A "
                              "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE.");
    case StepOutcome::Converted:
        return QStringLiteral("FLV CONVERSION SUCCESSFUL!");
    case StepOutcome::InjectionFailed:
        return QStringLiteral("FLV METADATA INJECTION FAILED!");
    case StepOutcome::StillsGenerated:
        return QStringLiteral("IMAGE(S) GENERATED!");
    case StepOutcome::StillsFailed:
        return QStringLiteral("IMAGE GENERATION FAILED!");
    case StepOutcome::Cancelled:
        return QStringLiteral("CONVERSION CANCELLED!");
    case StepOutcome::Streamed:
        return QStringLiteral("STREAMING FINISHED!");
    case StepOutcome::Probed:
    case StepOutcome::Encoded:
    case StepOutcome::CannotStart:
    case StepOutcome::StreamedInPart:
    case StepOutcome::StreamFailed:
        break;
    }
    return QString();
}

bool StepResult::IsFailure() const
{
    return outcome == StepOutcome::EncodingFailed || outcome == StepOutcome::InjectionFailed ||
           outcome == StepOutcome::StillsFailed || outcome == StepOutcome::CannotStart ||
           outcome == StepOutcome::StreamFailed;
}

QString ResultName(JobResult result)
{
    static const char* const names[] = {"converted", "failed",  "cancelled",
                                        "refused",   "skipped", "streamed"};
    return QLatin1String(names[static_cast<int>(result)]);
}

bool JobOutcome::Converted() const
{
    for (const StepResult& step : steps) {
        if (step.outcome == StepOutcome::Converted)
            return true;
    }
    return false;
}

QString JobOutcome::Words() const
{
    QStringList words;
    for (const StepResult& step : steps) {
        if (!step.text.isEmpty())
            words << step.text;
    }
    return words.join(u' ');
}
