#include "console/BatchRunner.h"

#include "console/EventReport.h"
#include "console/JobDriver.h"

BatchRunner::BatchRunner(const BatchPlan& plan, int atOnce, bool overwrite, EventReport& report,
                         QObject* parent)
    : QObject(parent), m_jobs(plan.jobs), m_atOnce(atOnce), m_overwrite(overwrite), m_report(report)
{
}

void BatchRunner::Start()
{
    const int count = int(m_jobs.size());
    for (int i = 0; i < count; ++i)
        m_report.Queued(i + 1, count, m_jobs[i].request);
    for (int i = 0; i < count; ++i) {
        const PlannedJob& job = m_jobs[i];
        if (job.refusal) {
            m_anyFailed = true;
            m_report.Refused(i + 1, job.refusal->message);
        } else if (job.outputExists && !m_overwrite) {
            m_report.Skipped(i + 1);
        } else {
            m_waiting << i;
        }
    }
    QMetaObject::invokeMethod(this, &BatchRunner::startNext, Qt::QueuedConnection);
}

void BatchRunner::startNext()
{
    while (m_running < m_atOnce && !m_waiting.isEmpty()) {
        const int index = m_waiting.takeFirst();
        const int number = index + 1;
        auto* driver = new JobDriver(this);
        connect(driver, &JobDriver::StepStarted, this,
                [this, number](JobStep step, const QString& caption) {
                    m_report.StepStarted(number, step, caption);
                });
        connect(driver, &JobDriver::Progress, this,
                [this, number](int percent, std::optional<int> secondsLeft) {
                    m_report.Progress(number, percent, secondsLeft);
                });
        connect(driver, &JobDriver::StepEnded, this, [this, number](const StepOutcome& outcome) {
            m_report.StepEnded(number, outcome);
        });
        connect(driver, &JobDriver::Ended, this,
                [this, number, driver](const JobEnd& end) { jobEnded(number, driver, end); });
        ++m_running;
        driver->Start(m_jobs[index].request);
    }
    finishWhenDone();
}

void BatchRunner::jobEnded(int number, JobDriver* driver, const JobEnd& end)
{
    --m_running;
    m_anyFailed = m_anyFailed || end.result != JobResult::Converted;
    m_report.Ended(number, end);
    driver->deleteLater();
    startNext();
}

void BatchRunner::finishWhenDone()
{
    if (m_running > 0 || !m_waiting.isEmpty())
        return;
    const int status = m_anyFailed ? ExitFailed : ExitDone;
    m_report.RunEnded(status);
    emit Finished(status);
}
