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
    auto* job = new ConversionJob(m_makeRunner(), m_files, this);
    m_running.insert(number, job);
    connect(job, &ConversionJob::CommandLine, this,
            [this, number](const QString& line) { emit CommandLine(number, line); });
    connect(job, &ConversionJob::StepStarted, this,
            [this, number](JobStep step) { emit StepStarted(number, step); });
    connect(job, &ConversionJob::Progress, this,
            [this, number](const JobProgress& progress) { emit Progress(number, progress); });
    connect(job, &ConversionJob::StillsCountShown, this,
            [this, number](const QString& count) { emit StillsCountShown(number, count); });
    connect(job, &ConversionJob::CornerPlaced, this,
            [this, number](const QString& left, const QString& top) {
                emit CornerPlaced(number, left, top);
            });
    connect(job, &ConversionJob::StepEnded, this, [this, number, job](const StepResult& result) {
        emit StepEnded(number, result);
        if (!m_hold)
            job->Continue();
    });
    connect(job, &ConversionJob::Finished, this,
            [this, number](const JobOutcome& outcome) { jobEnded(number, outcome); });
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
