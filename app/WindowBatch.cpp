#include "app/WindowBatch.h"

#include "common/MessageStyle.h"
#include "options/OutputName.h"
#include "pipeline/ConversionJob.h"
#include "pipeline/StillsSet.h"

#include <QFileInfo>

namespace
{

QString nameOf(const JobRequest& request)
{
    return QFileInfo(request.source).fileName();
}

} // namespace

WindowBatch::WindowBatch(ConversionJob& job, const QList<PlannedJob>& jobs, bool replace,
                         QObject* parent)
    : QObject(parent), m_job(job)
{
    for (const PlannedJob& planned : jobs) {
        Video video;
        video.request = planned.request;
        video.skip = planned.outputExists && !replace;
        m_toRun += !video.skip;
        m_videos << video;
    }
    connect(&m_job, &ConversionJob::StepEnded, this, &WindowBatch::stepEnded);
    // A cancel that came between two steps stops the step that follows.
    connect(&m_job, &ConversionJob::StepStarted, this, [this] {
        if (m_stopping)
            QMetaObject::invokeMethod(&m_job, &ConversionJob::Cancel, Qt::QueuedConnection);
    });
    connect(&m_job, &ConversionJob::Finished, this, [this](bool cancelled) {
        m_stopping = m_stopping || cancelled;
        QMetaObject::invokeMethod(this, &WindowBatch::runNext, Qt::QueuedConnection);
    });
}

void WindowBatch::Start()
{
    QMetaObject::invokeMethod(this, &WindowBatch::runNext, Qt::QueuedConnection);
}

void WindowBatch::Cancel()
{
    m_stopping = true;
    m_job.Cancel();
}

void WindowBatch::StopForExit(const QString& reason)
{
    m_stopping = m_silent = true;
    m_job.StopForExit(reason);
}

void WindowBatch::runNext()
{
    while (!m_stopping && ++m_current < m_videos.size()) {
        const Video& video = m_videos[m_current];
        if (video.skip)
            continue;
        emit VideoStarted(QStringLiteral("Video %1 of %2: ")
                              .arg(++m_started)
                              .arg(m_toRun)
                              .append(nameOf(video.request)));
        m_job.Start(video.request);
        return;
    }
    if (!m_silent)
        emit Ended(summary());
}

void WindowBatch::stepEnded(const StepResult& result)
{
    Video& video = m_videos[m_current];
    if (!result.text.isEmpty())
        video.words << result.text;
    video.converted = video.converted || result.outcome == StepOutcome::Converted;
    if (result.IsFailure()) {
        video.details += (video.failed ? QStringLiteral("\n\n") : QString()) + result.details;
        video.failed = true;
    }
    m_job.Continue();
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
        const QString words = video.skip
                                  ? QStringLiteral("SKIPPED! THE OUTPUT FILE ALREADY EXISTS.")
                              : video.words.isEmpty() ? StepResult::TextOf(StepOutcome::Cancelled)
                                                      : video.words.join(u' ');
        lines << name + QStringLiteral(": ") + words;
        converted += video.converted;
        if (video.failed) {
            details << name + QStringLiteral(":\n") + video.details;
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
