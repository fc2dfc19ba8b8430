#include "pipeline/StepResult.h"

#include "common/MessageStyle.h"

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
    case StepOutcome::Probed:
    case StepOutcome::Encoded:
    case StepOutcome::CannotStart:
        break;
    }
    return QString();
}

bool StepResult::IsFailure() const
{
    return outcome == StepOutcome::EncodingFailed || outcome == StepOutcome::InjectionFailed ||
           outcome == StepOutcome::StillsFailed || outcome == StepOutcome::CannotStart;
}

int StepResult::Style() const
{
    return IsFailure() ? vbCritical : vbInformation;
}

QString StepResult::Title() const
{
    return IsFailure() ? QStringLiteral("Error") : QStringLiteral("Message");
}
