#include "console/BatchRunner.h"

#include "console/EventReport.h"
#include "pipeline/ConversionEngine.h"

BatchRunner::BatchRunner(int atOnce, bool overwrite, EventReport& report, QObject* parent)
    : QObject(parent), m_engine(new ConversionEngine(this)), m_report(report)
{
    m_engine->SetJobsAtOnce(atOnce);
    m_engine->SetReplaceOutputs(overwrite);
    connect(m_engine, &ConversionEngine::StepStarted, this, [this](int job, JobStep step) {
        m_percents[job] = -1;
        m_report.StepStarted(job, step);
    });
    connect(m_engine, &ConversionEngine::Progress, this,
            [this](int job, const JobProgress& progress) {
                if (progress.percent >= 0 &&
                    progress.percent != std::exchange(m_percents[job], progress.percent))
                    m_report.Progress(job, progress.percent, progress.secondsLeft);
            });
    connect(m_engine, &ConversionEngine::StepEnded, this,
            [this](int job, const StepResult& result) { m_report.StepEnded(job, result); });
    connect(m_engine, &ConversionEngine::DestinationChanged, this,
            [this](int job, const DestinationState& state) { m_report.Destination(job, state); });
    connect(m_engine, &ConversionEngine::JobEnded, this,
            [this](int job, const JobOutcome& outcome) {
                m_percents.remove(job);
                m_anyFailed = m_anyFailed || (outcome.result != JobResult::Converted &&
                                              outcome.result != JobResult::Skipped &&
                                              outcome.result != JobResult::Streamed);
                m_report.Ended(job, outcome);
            });
    connect(m_engine, &ConversionEngine::Idle, this, [this] {
        const int status = m_stopStatus ? *m_stopStatus : m_anyFailed ? ExitFailed : ExitDone;
        m_report.RunEnded(status);
        emit Finished(status);
    });
}

void BatchRunner::Run(const BatchPlan& plan)
{
    const int count = int(plan.jobs.size());
    for (int i = 0; i < count; ++i)
        m_report.Queued(i + 1, count, plan.jobs[i].request);
    for (const PlannedJob& job : plan.jobs)
        m_engine->Add(job);
    m_engine->SetOpen(false); // Finished follows also when nothing runs
}

void BatchRunner::Add(const PlannedJob& job)
{
    if (m_stopStatus) // a video that appears while the run stops waits for the next run
        return;
    m_engine->SetOpen(true);
    m_report.Queued(m_engine->Count() + 1, 0, job.request);
    m_engine->Add(job);
}

void BatchRunner::Stop(int exitStatus)
{
    if (!m_stopStatus)
        m_stopStatus = exitStatus;
    m_engine->Stop();
}
