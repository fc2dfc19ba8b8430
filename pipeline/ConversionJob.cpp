#include "pipeline/ConversionJob.h"

#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "pipeline/Commands.h"
#include "pipeline/JobChecks.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/StillsSet.h"
#include "pipeline/SystemError.h"
#include "pipeline/ToolRunner.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

// The probe's command file and report go beside the program when that folder
// is the user's own and writable; otherwise (an installed copy: another
// user's folder, a read-only one, or one under /usr, which root owns and
// could write) into the user's runtime folder.
QString scratchFolder(const QString& appFolder)
{
    const QByteArray path = QFile::encodeName(appFolder);
    struct stat st;
    const bool own = ::stat(path.constData(), &st) == 0 && st.st_uid == ::geteuid() &&
                     ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0 &&
                     !(appFolder + u'/').startsWith(QStringLiteral("/usr/"));
    return own ? appFolder : AppPaths::RuntimeFolder();
}

} // namespace

// One step of the job: when it runs, what it runs, the outcomes of a good and
// a failed end, and what else its end sets (nothing when judge is null).
struct ConversionJob::Step {
    JobStep step;
    bool (ConversionJob::*wanted)() const;
    void (ConversionJob::*run)();
    void (ConversionJob::*judge)(const ToolOutcome&);
    StepOutcome success;
    StepOutcome failure;
};

const QList<ConversionJob::Step>& ConversionJob::Steps()
{
    using O = StepOutcome;
    using J = ConversionJob;
    static const QList<Step> steps = {
        {JobStep::Probe, &J::wantsProbe, &J::RunProbe, &J::judgeProbe, O::Probed, O::Probed},
        {JobStep::Encode, &J::wantsEncode, &J::RunEncode, nullptr, O::Encoded, O::EncodingFailed},
        {JobStep::Inject, &J::wantsInjection, &J::RunMetadataInjection, nullptr, O::Converted,
         O::InjectionFailed},
        {JobStep::Stills, &J::wantsStills, &J::RunImageGrab, nullptr, O::StillsGenerated,
         O::StillsFailed},
        {JobStep::Stream, &J::wantsStream, &J::RunStream, nullptr, O::Streamed, O::StreamFailed},
    };
    return steps;
}

ConversionJob::ConversionJob(int number, ToolRunner* runner, const JobFileSystem& files,
                             QObject* parent)
    : QObject(parent), m_number(number), m_runner(runner), m_files(files)
{
    m_runner->setParent(this);
    connect(m_runner, &ToolRunner::Output, this, &ConversionJob::onOutput);
    connect(m_runner, &ToolRunner::Finished, this, &ConversionJob::onFinished);
}

void ConversionJob::Start(const JobRequest& request)
{
    m_request = request;
    m_outcome = JobOutcome();
    m_exitCodes.clear();
    m_outcome.sourceWidth = request.sourceSize.width;
    m_outcome.sourceHeight = request.sourceSize.height;
    m_running = true;
    m_waiting = false;
    m_stops = 0;
    m_leftOut = false;
    m_stepIndex = -1;
    m_batchScratch.reset();
    m_log.Begin(JobLog::DefaultFolder(), QDateTime::currentDateTime(), request.batchNumber);
    nextStep();
}

void ConversionJob::Continue()
{
    if (!std::exchange(m_waiting, false))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_running) // not stopped for the window's end meanwhile
                nextStep();
        },
        Qt::QueuedConnection);
}

void ConversionJob::Stop()
{
    if (!m_running)
        return;
    ++m_stops;
    if (m_current && (m_stops > 1 || m_current->step != JobStep::Inject))
        m_runner->Cancel();
}

qint64 ConversionJob::ToolProcessId() const
{
    return m_runner->ProcessId();
}

void ConversionJob::Pause(bool paused)
{
    if (!m_current)
        return;
    if (paused)
        m_runner->Pause();
    else
        m_runner->Resume();
}

void ConversionJob::StopForExit(const QString& reason)
{
    const bool running = std::exchange(m_running, false);
    m_waiting = false;
    // Whatever the runner says now is not reported.
    const bool programRan = std::exchange(m_current, nullptr) != nullptr;
    const std::optional<ToolOutcome> outcome = m_runner->StopAndWait();
    m_batchScratch.reset();
    if (!running || reason.isEmpty())
        return;
    const QString stopped = QStringLiteral("stopped: ") + reason;
    if (programRan && outcome)
        logEnd(*outcome, stopped);
    else
        m_log.Note(stopped);
}

void ConversionJob::nextStep()
{
    const QList<Step>& steps = Steps();
    while (++m_stepIndex < steps.size()) {
        const Step& step = steps[m_stepIndex];
        if (!(this->*step.wanted)())
            continue;
        // Only the injection that completes a good encode outlasts a stop.
        if (m_stops > 0 && (m_stops > 1 || step.step != JobStep::Inject)) {
            m_leftOut = true;
            break;
        }
        m_current = &step;
        (this->*step.run)();
        return;
    }
    finish();
}

// A cancelled step names the job, else the first failure, else a stop that
// left steps out.
void ConversionJob::finish()
{
    m_running = false;
    m_batchScratch.reset();
    JobOutcome& outcome = m_outcome;
    outcome.logPath = m_log.Path();
    outcome.result = m_leftOut       ? JobResult::Cancelled
                     : wantsStream() ? JobResult::Streamed
                                     : JobResult::Converted;
    outcome.exitCode = m_leftOut ? std::nullopt : std::optional<quint32>(0);
    for (qsizetype i = 0; i < outcome.steps.size(); ++i) {
        const StepResult& step = outcome.steps[i];
        if (step.outcome == StepOutcome::Cancelled) {
            outcome.result = JobResult::Cancelled;
            outcome.exitCode.reset();
            break;
        }
        if (step.IsFailure() && outcome.result != JobResult::Failed) { // the first failure
            outcome.result = JobResult::Failed;
            outcome.exitCode = step.outcome == StepOutcome::CannotStart
                                   ? std::nullopt
                                   : std::optional<quint32>(m_exitCodes[i]);
        }
    }
    emit Finished(m_number, outcome);
}

// Jobs of a batch may probe at the same time: each has a private folder of
// its own in the runtime folder, removed when the job ends.
QString ConversionJob::probeFolder()
{
    if (m_request.batchNumber == 0)
        return scratchFolder(m_request.appFolder);
    const QString runtime = AppPaths::RuntimeFolder();
    if (runtime.isEmpty())
        return QString();
    m_batchScratch =
        std::make_unique<QTemporaryDir>(runtime + QStringLiteral("/kestrel-probe-XXXXXX"));
    return m_batchScratch->isValid() ? m_batchScratch->path() : QString();
}

// Writes the command file input.bat, the record of how the report was made,
// and runs the same command directly (never through a shell, so that no
// character of the source name reaches a command interpreter).
void ConversionJob::RunProbe()
{
    const QString folder = probeFolder();
    const QChar sep = m_request.separator;
    m_reportPath.clear();
    if (!folder.isEmpty()) {
        QFile batch;
        const int fd = OpenScratchForWriting(folder + sep + QStringLiteral("input.bat"));
        if (fd >= 0 && batch.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
            batch.write(
                (BuildProbeLine(appShort(), sep, m_request.source, m_files.BlankFreePath(folder)) +
                 QStringLiteral("\r\n"))
                    .toLocal8Bit());
        else if (fd >= 0)
            ::close(fd);
        m_reportPath = folder + sep + QStringLiteral("infile.txt");
    }
    startProgram(BuildProbeCommand(appShort(), sep, m_request.source), m_reportPath);
}

void ConversionJob::RunEncode()
{
    BuildEncoderOptions();
    const QString command =
        BuildEncodeCommand(appShort(), m_request.separator, m_request.source,
                           m_outcome.encoderOptions, m_request.outDir, m_request.outFile);
    emit CommandLine(m_number, command);
    startProgram(command);
}

void ConversionJob::RunMetadataInjection()
{
    const QString command =
        BuildInjectCommand(appShort(), m_request.separator, m_request.outDir, m_request.outFile);
    emit CommandLine(m_number, command);
    startProgram(command);
}

// Stills come from the source, whatever became of the encoding.
void ConversionJob::RunImageGrab()
{
    // The count goes as the number read from the box ("+3" gives 3).
    qint16 count = m_request.stillsCount.value_or(0);
    if (count == 0) {
        count = 10;
        emit StillsCountShown(m_number, QStringLiteral("10"));
    }
    m_stillsCount = count;
    const QString command = BuildStillsCommand(
        appShort(), m_request.separator, m_request.source, SizeText(m_request.options.frameSize),
        QString::number(count), m_request.outDir, m_request.stillsName);
    emit CommandLine(m_number, command);
    startProgram(command);
}

// The command line box and the log show each server's key as "****".
void ConversionJob::RunStream()
{
    BuildEncoderOptions();
    m_destinations = DestinationLines();
    const auto command = [this](const QStringList& urls) {
        return BuildStreamCommand(appShort(), m_request.separator, m_request.source,
                                  m_outcome.encoderOptions, urls);
    };
    QStringList shown;
    for (const QString& url : m_request.streamUrls)
        shown << MaskedStreamUrl(url);
    emit CommandLine(m_number, command(shown));
    startProgram(command(m_request.streamUrls), QString(), command(shown));
}

// The command line is taken untrimmed. The step is announced once its command
// is built, so what building it showed (the stills count) is in place.
void ConversionJob::startProgram(const QString& command, const QString& outputFile,
                                 const QString& shown)
{
    emit StepStarted(m_number, m_current->step);
    m_progress = ProgressParser();
    m_log.ProgramStarted(shown.isEmpty() ? command : shown);
    m_clock.start();
    const QStringList argv = SplitCommandLine(command);
    m_program = argv.value(0);
    m_runner->Start(argv, outputFile);
}

void ConversionJob::onOutput(const QByteArray& chunk)
{
    if (m_current)
        m_log.Output(chunk);
    if (m_current && m_current->step == JobStep::Stream) {
        for (const DestinationState& state : m_destinations.Feed(chunk))
            emit DestinationChanged(m_number, state);
    }
    if (!m_current || !m_progress.Feed(chunk))
        return;
    const int percent = m_progress.Percent().value_or(-1);
    emit Progress(m_number, {percent, m_progress.LastStatusLine(),
                             percent >= 0 ? RemainingSeconds(percent, m_clock.elapsed() / 1000.0)
                                          : std::nullopt,
                             m_progress.DoneSeconds(), m_progress.DurationSeconds()});
}

void ConversionJob::onFinished(const ToolOutcome& outcome)
{
    const Step* step = std::exchange(m_current, nullptr);
    if (!step)
        return;
    const StepResult result = judge(outcome, *step);
    m_outcome.steps << result;
    m_exitCodes << outcome.exitCode;
    const bool cancelled = result.outcome == StepOutcome::Cancelled;
    logEnd(outcome, cancelled ? QStringLiteral("stopped by the user") : QString());
    m_waiting = true;
    emit StepEnded(m_number, result);
}

// A cancel counts only when it stopped a program that had not ended well by
// itself; otherwise the program's own outcome stands.
StepResult ConversionJob::judge(const ToolOutcome& outcome, const Step& step)
{
    StepResult result;
    result.step = step.step;
    if (outcome.stopped && !outcome.Succeeded()) {
        result.outcome = StepOutcome::Cancelled;
        result.text = step.step == JobStep::Stream ? QStringLiteral("STREAMING STOPPED!")
                                                   : StepResult::TextOf(result.outcome);
        return result;
    }
    if (step.judge)
        (this->*step.judge)(outcome);
    // A probe that cannot run just finds no size.
    if (outcome.kind == ToolOutcome::FailedToStart && step.failure != StepOutcome::Probed) {
        result.outcome = StepOutcome::CannotStart;
        result.text = QStringLiteral("CANNOT START ") + QFileInfo(m_program).fileName().toUpper() +
                      QStringLiteral("! ") + DescribeSystemError(outcome.systemError).toUpper() +
                      u'.';
    } else {
        result.outcome = outcome.Succeeded() ? step.success : step.failure;
        result.text = StepResult::TextOf(result.outcome);
    }
    if (step.step == JobStep::Stream && outcome.kind != ToolOutcome::FailedToStart)
        judgeStream(outcome, result);
    if (result.outcome == StepOutcome::StillsGenerated && m_request.replaceStills)
        RemoveStillsAbove(m_request.outDir, m_request.stillsName, m_stillsCount);
    if (result.IsFailure())
        result.details = m_log.Details();
    return result;
}

void ConversionJob::logEnd(const ToolOutcome& outcome, const QString& stopped)
{
    QString how;
    if (outcome.kind == ToolOutcome::FailedToStart)
        how = QStringLiteral("could not start: ") + DescribeSystemError(outcome.systemError);
    else if (outcome.exitCode >= 0x80000000u)
        how = QStringLiteral("killed by signal %1").arg(outcome.exitCode - 0x80000000u);
    else
        how = QStringLiteral("exit code %1").arg(outcome.exitCode);
    if (!stopped.isEmpty())
        how += QStringLiteral(", ") + stopped;
    m_log.ProgramEnded(how, m_clock.elapsed());
}

bool ConversionJob::wantsProbe() const
{
    return m_request.options.watermark;
}

bool ConversionJob::wantsInjection() const
{
    // Only an encoder that was seen to end with code 0 counts as a success.
    return !m_outcome.steps.isEmpty() && m_outcome.steps.last().outcome == StepOutcome::Encoded;
}

bool ConversionJob::wantsStills() const
{
    return m_request.stills && !wantsStream();
}

bool ConversionJob::wantsEncode() const
{
    return !wantsStream();
}

bool ConversionJob::wantsStream() const
{
    return !m_request.streamUrls.isEmpty();
}

// Each server that did not get the stream is named with why; a stream that
// failed with no server to blame failed at the source.
void ConversionJob::judgeStream(const ToolOutcome& outcome, StepResult& result)
{
    const QStringList failures = m_destinations.Failures();
    if (outcome.Succeeded() && !failures.isEmpty()) {
        result.outcome = StepOutcome::StreamedInPart;
        result.text =
            QStringLiteral("THE STREAM DID NOT REACH EVERY SERVER! ") + failures.join(u' ');
        result.details = m_log.Details();
    } else if (!outcome.Succeeded()) {
        result.text = failures.isEmpty()
                          ? StepResult::TextOf(StepOutcome::EncodingFailed)
                          : QStringLiteral("STREAMING FAILED! ") + failures.join(u' ');
    }
}

QString ConversionJob::appShort() const
{
    return m_files.BlankFreePath(m_request.appFolder);
}

// The report is read only when it is no link; its lines go to the log.
void ConversionJob::judgeProbe(const ToolOutcome&)
{
    const QByteArray report =
        m_reportPath.isEmpty() ? QByteArray() : ReadScratch(m_reportPath, JobLog::MaxBytes);
    m_log.Output(report);
    if (const std::optional<FrameSize> size = ParseProbeReport(report)) {
        m_outcome.sourceWidth = size->width;
        m_outcome.sourceHeight = size->height;
    }
}

void ConversionJob::BuildEncoderOptions()
{
    EncoderControls controls = m_request.options;
    if (controls.watermark) {
        const CornerTexts place = CornerRule(m_request.corner, m_outcome.sourceWidth,
                                             m_outcome.sourceHeight, controls.left, controls.top);
        controls.left = place.left;
        controls.top = place.top;
        emit CornerPlaced(m_number, place.left, place.top);
    }
    m_outcome.encoderOptions =
        ComposeEncoderOptions(controls, {appShort(), m_request.fontsRoot, m_request.separator});
}
