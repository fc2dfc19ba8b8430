#include "console/JobDriver.h"

#include "common/MessageStyle.h"
#include "pipeline/ConversionJob.h"
#include "pipeline/JobChecks.h"
#include "pipeline/Progress.h"
#include "pipeline/ToolRunner.h"

namespace
{

// The job names its steps by the captions its progress window shows.
JobStep stepFromCaption(const QString& caption)
{
    if (caption.startsWith(u"Reading"))
        return JobStep::Probe;
    if (caption.startsWith(u"Adding"))
        return JobStep::Inject;
    if (caption.startsWith(u"Grabbing"))
        return JobStep::Stills;
    return JobStep::Encode;
}

} // namespace

JobDriver::JobDriver(QObject* parent)
    : QObject(parent), m_job(new ConversionJob(MakeToolRunner(nullptr), LocalFileSystem(), this))
{
    connect(m_job, &ConversionJob::StepStarted, this, &JobDriver::onStepStarted);
    connect(m_job, &ConversionJob::Progress, this, [this](int percent, const QString&) {
        if (percent >= 0 && percent != std::exchange(m_percent, percent))
            emit Progress(percent, RemainingSeconds(percent, m_clock.elapsed() / 1000.0));
    });
    // The job goes on once this has returned: nothing waits for a user here.
    connect(m_job, &ConversionJob::Message, this, &JobDriver::onMessage, Qt::DirectConnection);
    connect(m_job, &ConversionJob::Finished, this, &JobDriver::onFinished);
}

void JobDriver::Start(const JobRequest& request)
{
    m_end = JobEnd{JobResult::Converted, 0u, QString()};
    m_job->Start(request);
}

void JobDriver::Cancel()
{
    m_job->Cancel();
}

int JobDriver::MaxAtOnce(const QList<JobRequest>& jobs, int asked)
{
    for (const JobRequest& job : jobs) {
        if (job.options.watermark)
            return 1;
    }
    return qMax(1, asked);
}

std::optional<QString> JobDriver::Unsupported(const JobRequest& job)
{
    if (job.stills && job.stillsName != QLatin1String(DefaultStillsName))
        return QStringLiteral("--stills for more than one video per output folder is not "
                              "available in this build yet");
    return std::nullopt;
}

void JobDriver::onStepStarted(const QString& caption)
{
    closeStep();
    m_step = stepFromCaption(caption);
    m_percent = -1;
    m_clock.start();
    emit StepStarted(*m_step, caption);
}

// A step the window says nothing about went well, unless it was an encode
// that failed.
void JobDriver::closeStep()
{
    if (!m_step)
        return;
    const JobStep step = *std::exchange(m_step, std::nullopt);
    emit StepEnded({step, step != JobStep::Encode || m_job->EncodeSucceeded, QString(), QString()});
}

void JobDriver::onMessage(const QString& text, int style, const QString&, const QString& details)
{
    const bool ok = style != vbCritical && m_end.result != JobResult::Cancelled;
    if (!ok && m_end.result == JobResult::Converted) {
        m_end.result = JobResult::Failed;
        m_end.exitCode = m_job->ToolExitCode;
    }
    emit StepEnded({m_step.value_or(JobStep::Encode), ok, text, details});
    m_step.reset();
}

void JobDriver::onFinished(bool cancelled)
{
    // A cancelled job says so in a message that follows.
    if (cancelled) {
        m_end.result = JobResult::Cancelled;
        m_end.exitCode.reset();
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            closeStep();
            emit Ended(m_end);
        },
        Qt::QueuedConnection);
}
