#include "console/BatchRunner.h"

#include "console/EventReport.h"
#include "console/JobDriver.h"
#include "pipeline/StillsSet.h"

BatchRunner::BatchRunner(int atOnce, bool overwrite, EventReport& report, QObject* parent)
    : QObject(parent), m_atOnce(qMax(1, atOnce)), m_overwrite(overwrite), m_report(report)
{
}

void BatchRunner::Run(const BatchPlan& plan)
{
    const int count = int(plan.jobs.size());
    for (int i = 0; i < count; ++i)
        m_report.Queued(m_count + i + 1, count, plan.jobs[i].request);
    for (const PlannedJob& job : plan.jobs)
        take(++m_count, job);
    QMetaObject::invokeMethod(this, &BatchRunner::startNext, Qt::QueuedConnection);
}

void BatchRunner::Add(const PlannedJob& job)
{
    m_open = true;
    m_report.Queued(++m_count, 0, job.request);
    take(m_count, job);
    startNext();
}

void BatchRunner::take(int number, PlannedJob job)
{
    JobRequest& request = job.request;
    request.batchNumber = number;
    const QString firstStill = request.outDir + StillName(request.stillsName, 1);
    const bool stillsExist = request.stills && StillsExist(request, LocalFileSystem());
    if (job.refusal) {
        m_anyFailed = true;
        m_report.Refused(number, job.refusal->message);
    } else if ((job.outputExists || stillsExist) && !m_overwrite) {
        m_report.Skipped(number, job.outputExists ? request.outDir + request.outFile : firstStill);
    } else {
        request.replaceStills = stillsExist;
        m_waiting.append({number, request});
    }
}

void BatchRunner::Stop(int exitStatus)
{
    for (JobDriver* driver : std::as_const(m_running))
        driver->Stop();
    if (m_stopStatus)
        return;
    m_stopStatus = exitStatus;
    m_open = false;
    for (const auto& [number, request] : std::exchange(m_waiting, {}))
        m_report.Ended(number, {JobResult::Cancelled, std::nullopt, QString()},
                       QStringLiteral("stopped before it started"));
    QMetaObject::invokeMethod(this, &BatchRunner::finishWhenDone, Qt::QueuedConnection);
}

void BatchRunner::startNext()
{
    while (m_running.size() < m_atOnce && !m_waiting.isEmpty()) {
        const auto [number, request] = m_waiting.takeFirst();
        auto* driver = new JobDriver(this);
        connect(driver, &JobDriver::StepStarted, this,
                [this, number](JobStep step, const QString& caption) {
                    m_report.StepStarted(number, step, caption);
                });
        connect(driver, &JobDriver::Progress, this,
                [this, number](int percent, std::optional<int> secondsLeft) {
                    m_report.Progress(number, percent, secondsLeft);
                });
        connect(driver, &JobDriver::StepEnded, this,
                [this, number](const StepReport& step) { m_report.StepEnded(number, step); });
        connect(driver, &JobDriver::Ended, this,
                [this, number, driver](const JobEnd& end) { jobEnded(number, driver, end); });
        m_running.insert(number, driver);
        driver->Start(request);
    }
    finishWhenDone();
}

void BatchRunner::jobEnded(int number, JobDriver* driver, const JobEnd& end)
{
    m_running.remove(number);
    m_anyFailed = m_anyFailed || end.result != JobResult::Converted;
    m_report.Ended(number, end);
    driver->deleteLater();
    startNext();
}

void BatchRunner::finishWhenDone()
{
    if (!IsIdle() || m_open || m_finished)
        return;
    m_finished = true;
    const int status = m_stopStatus ? *m_stopStatus : m_anyFailed ? ExitFailed : ExitDone;
    m_report.RunEnded(status);
    emit Finished(status);
}
