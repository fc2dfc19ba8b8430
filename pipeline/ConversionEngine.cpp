#include "pipeline/ConversionEngine.h"

#include "pipeline/ConversionJob.h"
#include "pipeline/JobChecks.h"
#include "pipeline/StillsSet.h"
#include "pipeline/ToolRunner.h"

ConversionEngine::ConversionEngine(QObject* parent)
    : ConversionEngine([] { return MakeToolRunner(nullptr); }, LocalFileSystem(), parent)
{
}

ConversionEngine::ConversionEngine(RunnerFactory makeRunner, const JobFileSystem& files,
                                   QObject* parent)
    : QObject(parent), m_makeRunner(std::move(makeRunner)), m_files(files)
{
}

void ConversionEngine::SetOpen(bool open)
{
    m_open = open;
    m_idleDue = m_idleDue || !open;
    if (!open)
        QMetaObject::invokeMethod(this, &ConversionEngine::startNext, Qt::QueuedConnection);
}

int ConversionEngine::Add(PlannedJob job)
{
    const int number = ++m_count;
    JobRequest& request = job.request;
    if (request.batchNumber > 0)
        request.batchNumber = number;
    const bool stillsExist = request.stills && StillsExist(request, m_files);
    JobOutcome outcome;
    if (job.refusal) {
        outcome.result = JobResult::Refused;
        outcome.note = job.refusal->message;
    } else if ((job.outputExists || stillsExist) && !m_replace) {
        outcome.result = JobResult::Skipped;
        outcome.note = job.outputExists ? request.outDir + request.outFile
                                        : request.outDir + StillName(request.stillsName, 1);
    } else {
        request.replaceStills = stillsExist;
        m_waiting.append({number, request});
    }
    if (outcome.result != JobResult::Converted)
        QMetaObject::invokeMethod(
            this, [this, number, outcome] { emit JobEnded(number, outcome); },
            Qt::QueuedConnection);
    m_idleDue = true;
    QMetaObject::invokeMethod(this, &ConversionEngine::startNext, Qt::QueuedConnection);
    return number;
}

void ConversionEngine::Continue(int job)
{
    if (ConversionJob* running = m_running.value(job))
        running->Continue();
}

void ConversionEngine::Stop()
{
    m_stopping = m_idleDue = true;
    m_open = false;
    for (ConversionJob* job : std::as_const(m_running))
        job->Stop();
    JobOutcome cancelled;
    cancelled.result = JobResult::Cancelled;
    cancelled.note = QStringLiteral("stopped before it started");
    for (const auto& [number, request] : std::exchange(m_waiting, {}))
        emit JobEnded(number, cancelled);
    QMetaObject::invokeMethod(this, &ConversionEngine::startNext, Qt::QueuedConnection);
}

void ConversionEngine::Pause(bool paused)
{
    for (ConversionJob* job : std::as_const(m_running))
        job->Pause(paused);
}

void ConversionEngine::StopForExit(const QString& reason)
{
    m_waiting.clear();
    m_idleDue = false;
    for (ConversionJob* job : std::exchange(m_running, {})) {
        job->StopForExit(reason);
        job->deleteLater();
    }
}

void ConversionEngine::startNext()
{
    while (m_running.size() < m_atOnce && !m_waiting.isEmpty() && !m_stopping) {
        const auto [number, request] = m_waiting.takeFirst();
        start(number, request);
    }
    if (!IsIdle())
        return;
    m_stopping = false; // a later job starts again
    if (!m_open && std::exchange(m_idleDue, false))
        emit Idle();
}

void ConversionEngine::start(int number, const JobRequest& request)
{
    auto* job = new ConversionJob(number, m_makeRunner(), m_files, this);
    m_running.insert(number, job);
    using J = ConversionJob;
    using E = ConversionEngine;
    connect(job, &J::CommandLine, this, &E::CommandLine);
    connect(job, &J::StepStarted, this, &E::StepStarted);
    connect(job, &J::Progress, this, &E::Progress);
    connect(job, &J::StillsCountShown, this, &E::StillsCountShown);
    connect(job, &J::CornerPlaced, this, &E::CornerPlaced);
    connect(job, &J::DestinationChanged, this, &E::DestinationChanged);
    connect(job, &J::StepEnded, this, [this, job](int number, const StepResult& result) {
        emit StepEnded(number, result);
        if (!m_hold)
            job->Continue();
    });
    connect(job, &J::Finished, this, &E::jobEnded);
    emit JobStarted(number, request);
    job->Start(request);
}

void ConversionEngine::jobEnded(int number, const JobOutcome& outcome)
{
    if (ConversionJob* job = m_running.take(number))
        job->deleteLater();
    emit JobEnded(number, outcome);
    startNext();
}
