#include "console/JobDriver.h"

#include "pipeline/ConversionJob.h"
#include "pipeline/JobChecks.h"
#include "pipeline/Progress.h"
#include "pipeline/ToolRunner.h"

JobDriver::JobDriver(QObject* parent)
    : QObject(parent), m_job(new ConversionJob(MakeToolRunner(nullptr), LocalFileSystem(), this))
{
    connect(m_job, &ConversionJob::StepStarted, this, &JobDriver::onStepStarted);
    connect(m_job, &ConversionJob::Progress, this, [this](int percent, const QString&) {
        if (percent >= 0 && percent != std::exchange(m_percent, percent))
            emit Progress(percent, RemainingSeconds(percent, m_clock.elapsed() / 1000.0));
    });
    connect(m_job, &ConversionJob::StepEnded, this, &JobDriver::onStepEnded);
    connect(m_job, &ConversionJob::Finished, this, &JobDriver::end);
}

void JobDriver::Start(const JobRequest& request)
{
    m_stills = request.stills;
    m_next = request.options.watermark ? JobStep::Probe : JobStep::Encode;
    m_end = JobEnd{JobResult::Converted, 0u, QString()};
    m_job->Start(request);
}

void JobDriver::Stop()
{
    if (m_ended)
        return;
    if (std::exchange(m_stopping, true))
        m_job->Cancel();
    else if (!m_stepRunning)
        stopBetweenSteps();
    else if (m_step != JobStep::Inject)
        m_job->Cancel();
}

// The steps follow each other in a fixed order; which runs next follows from
// the outcome of the last.
void JobDriver::onStepStarted(const QString& caption)
{
    m_step = m_next.value_or(JobStep::Stills);
    m_stepRunning = true;
    m_percent = -1;
    m_clock.start();
    emit StepStarted(m_step, caption);
}

void JobDriver::onStepEnded(const StepResult& result)
{
    m_stepRunning = false;
    const bool cancelled = result.outcome == StepOutcome::Cancelled;
    if (cancelled) {
        m_end.result = JobResult::Cancelled;
        m_end.exitCode.reset();
    } else if (result.IsFailure() && m_end.result == JobResult::Converted) {
        m_end.result = JobResult::Failed;
        m_end.exitCode = result.outcome == StepOutcome::CannotStart
                             ? std::nullopt
                             : std::optional<quint32>(m_job->ToolExitCode);
    }
    switch (m_step) {
    case JobStep::Probe:
        m_next = JobStep::Encode;
        break;
    case JobStep::Encode:
        m_next = result.outcome == StepOutcome::Encoded ? JobStep::Inject : JobStep::Stills;
        break;
    case JobStep::Inject:
        m_next = JobStep::Stills;
        break;
    case JobStep::Stills:
        m_next.reset();
        break;
    }
    if (m_next == JobStep::Stills && !m_stills)
        m_next.reset();
    emit StepEnded({m_step, !cancelled && !result.IsFailure(), result.text, result.details});
    m_job->Continue();
    if (m_stopping && !cancelled)
        stopBetweenSteps();
}

// The job has been told to go on: it stops before its next step unless that
// is the injection, or there is none and it is about to finish.
void JobDriver::stopBetweenSteps()
{
    if (!m_next || m_next == JobStep::Inject)
        return;
    m_job->StopForExit();
    if (m_end.result == JobResult::Converted) {
        m_end.result = JobResult::Cancelled;
        m_end.exitCode.reset();
    }
    end();
}

void JobDriver::end()
{
    if (std::exchange(m_ended, true))
        return;
    m_end.logPath = m_job->LogPath();
    // From the event loop, so that the receiver may delete this driver.
    QMetaObject::invokeMethod(
        this, [this] { emit Ended(m_end); }, Qt::QueuedConnection);
}
