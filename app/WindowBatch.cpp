#include "app/WindowBatch.h"

#include "common/MessageStyle.h"
#include "options/OutputName.h"
#include "pipeline/ConversionEngine.h"
#include "pipeline/StillsSet.h"

#include <QFileInfo>

namespace
{

QString nameOf(const JobRequest& request)
{
    return QFileInfo(request.source).fileName();
}

} // namespace

WindowBatch::WindowBatch(ConversionEngine& engine, const QList<PlannedJob>& jobs, bool replace,
                         QObject* parent)
    : QObject(parent), m_engine(engine), m_replace(replace)
{
    for (const PlannedJob& planned : jobs) {
        Video video;
        video.request = planned.request;
        video.outputExists = planned.outputExists;
        m_toRun += !(planned.outputExists && !replace); // the engine skips the others
        m_videos << video;
    }
    connect(&m_engine, &ConversionEngine::JobStarted, this, [this](int job) {
        while (m_videos[m_current].number != job)
            ++m_current;
        emit VideoStarted(QStringLiteral("Video %1 of %2: ")
                              .arg(++m_started)
                              .arg(m_toRun)
                              .append(nameOf(Current())));
    });
    connect(&m_engine, &ConversionEngine::JobEnded, this,
            [this](int job, const JobOutcome& outcome) {
                for (Video& video : m_videos) {
                    if (video.number == job)
                        video.outcome = outcome;
                }
            });
    connect(&m_engine, &ConversionEngine::Idle, this, [this] {
        if (!m_silent)
            emit Ended(summary());
    });
}

void WindowBatch::Start()
{
    m_engine.SetHoldBetweenSteps(false);
    m_engine.SetReplaceOutputs(m_replace);
    for (Video& video : m_videos)
        video.number = m_engine.Add({video.request, std::nullopt, video.outputExists});
}

void WindowBatch::Cancel()
{
    m_stopping = true;
    m_engine.Stop();
}

StepResult WindowBatch::summary() const
{
    StepResult summary;
    summary.outcome = m_stopping ? StepOutcome::Cancelled : StepOutcome::Converted;
    QStringList lines, details;
    int converted = 0;
    for (const Video& video : m_videos) {
        const QString name = nameOf(video.request);
        // A video the cancel came before has no words of its own.
        QString words = video.outcome.Words();
        if (video.outcome.result == JobResult::Skipped)
            words = QStringLiteral("SKIPPED! THE OUTPUT FILE ALREADY EXISTS.");
        else if (words.isEmpty())
            words = StepResult::TextOf(StepOutcome::Cancelled);
        lines << name + QStringLiteral(": ") + words;
        converted += video.outcome.Converted();
        QStringList failures;
        for (const StepResult& step : video.outcome.steps) {
            if (step.IsFailure())
                failures << step.details;
        }
        if (!failures.isEmpty()) {
            details << name + QStringLiteral(":\n") + failures.join(QStringLiteral("\n\n"));
            summary.outcome = StepOutcome::EncodingFailed; // any failure names the batch
        }
    }
    summary.text =
        QStringLiteral("%1 OF %2 VIDEOS CONVERTED.\n\n").arg(converted).arg(lines.size()) +
        lines.join(u'\n');
    summary.details = details.join(QStringLiteral("\n\n"));
    return summary;
}

int MarkExistingOutputs(BatchPlan& plan, const JobFileSystem& files)
{
    int count = 0;
    for (PlannedJob& job : plan.jobs) {
        job.outputExists =
            job.outputExists || (job.request.stills && StillsExist(job.request, files));
        count += job.outputExists;
    }
    return count;
}

std::optional<JobRefusal> RefuseBatch(const BatchPlan& plan)
{
    std::optional<JobRefusal> first;
    bool alike = true; // every video is refused with one message
    QStringList lines;
    for (const PlannedJob& job : plan.jobs) {
        const std::optional<JobRefusal> refusal =
            HoldsControlCharacter(job.request.source) ? SourceNameRefusal() : job.refusal;
        if (!refusal) {
            alike = false;
            continue;
        }
        if (!first)
            first = refusal;
        alike = alike && refusal->message == first->message;
        lines << nameOf(job.request) + QStringLiteral(": ") + refusal->message;
    }
    if (first && alike)
        return first;
    if (first)
        return JobRefusal{lines.join(u'\n')};
    lines.clear();
    for (const OutputClash& clash : plan.clashes)
        lines << DescribeClash(clash);
    if (!lines.isEmpty())
        return JobRefusal{lines.join(u'\n')};
    return std::nullopt;
}
