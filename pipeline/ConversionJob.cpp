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
    const char* caption;
    bool (ConversionJob::*wanted)() const;
    void (ConversionJob::*run)();
    void (ConversionJob::*judge)(const ToolOutcome&);
    StepOutcome success;
    StepOutcome failure;
};

const QList<ConversionJob::Step>& ConversionJob::Steps()
{
    using O = StepOutcome;
    static const QList<Step> steps = {
        {"Reading the source video...", &ConversionJob::wantsProbe, &ConversionJob::RunProbe,
         &ConversionJob::judgeProbe, O::Probed, O::Probed},
        {"Encoding the video...", &ConversionJob::always, &ConversionJob::RunEncode,
         &ConversionJob::judgeEncode, O::Encoded, O::EncodingFailed},
        {"Adding the metadata...", &ConversionJob::wantsInjection,
         &ConversionJob::RunMetadataInjection, nullptr, O::Converted, O::InjectionFailed},
        {StillsStep, &ConversionJob::wantsStills, &ConversionJob::RunImageGrab, nullptr,
         O::StillsGenerated, O::StillsFailed},
    };
    return steps;
}

ConversionJob::ConversionJob(ToolRunner* runner, const JobFileSystem& files, QObject* parent)
    : QObject(parent), m_runner(runner), m_files(files)
{
    m_runner->setParent(this);
    connect(m_runner, &ToolRunner::Output, this, &ConversionJob::onOutput);
    connect(m_runner, &ToolRunner::Finished, this, &ConversionJob::onFinished);
}

void ConversionJob::Start(const JobRequest& request)
{
    m_request = request;
    SourceWidth = request.sourceSize.width;
    SourceHeight = request.sourceSize.height;
    m_running = true;
    m_waiting = false;
    m_cancelled = false;
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
            if (!m_running) // stopped for the window's end meanwhile
                return;
            if (m_cancelled) {
                m_running = false;
                m_batchScratch.reset();
                emit Finished(true);
            } else {
                nextStep();
            }
        },
        Qt::QueuedConnection);
}

void ConversionJob::Cancel()
{
    if (m_current)
        m_runner->Cancel();
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
        m_current = &step;
        (this->*step.run)();
        return;
    }
    m_running = false;
    m_batchScratch.reset();
    emit Finished(false);
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
                (BuildProbeLine(appShort(), sep, m_request.source, m_files.ShortName(folder)) +
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
    const QString command = BuildEncodeCommand(appShort(), m_request.separator, m_request.source,
                                               EncoderOptions, m_request.outDir, m_request.outFile);
    // Only an encoder that was seen to end with code 0 counts as a success.
    EncodeSucceeded = false;
    emit CommandLine(command);
    startProgram(command);
}

void ConversionJob::RunMetadataInjection()
{
    const QString command =
        BuildInjectCommand(appShort(), m_request.separator, m_request.outDir, m_request.outFile);
    emit CommandLine(command);
    startProgram(command);
}

// Stills come from the source, whatever became of the encoding.
void ConversionJob::RunImageGrab()
{
    // The count goes as the number read from the box ("+3" gives 3).
    qint16 count = m_request.stillsCount.value_or(0);
    if (count == 0) {
        count = 10;
        emit StillsCountShown(QStringLiteral("10"));
    }
    m_stillsCount = count;
    const QString command = BuildStillsCommand(
        appShort(), m_request.separator, m_request.source, SizeText(m_request.options.frameSize),
        QString::number(count), m_request.outDir, m_request.stillsName);
    emit CommandLine(command);
    startProgram(command);
}

// The command line is taken untrimmed. The step is announced once its command
// is built, so what building it showed (the stills count) is in place.
void ConversionJob::startProgram(const QString& command, const QString& outputFile)
{
    emit StepStarted(QString::fromLatin1(m_current->caption));
    m_progress = ProgressParser();
    m_log.ProgramStarted(command);
    m_clock.start();
    const QStringList argv = SplitCommandLine(command);
    m_program = argv.value(0);
    m_runner->Start(argv, outputFile);
    ToolProcessId = m_runner->ProcessId();
}

void ConversionJob::onOutput(const QByteArray& chunk)
{
    if (m_current)
        m_log.Output(chunk);
    if (m_current && m_progress.Feed(chunk))
        emit Progress(m_progress.Percent().value_or(-1), m_progress.LastStatusLine());
}

void ConversionJob::onFinished(const ToolOutcome& outcome)
{
    const Step* step = std::exchange(m_current, nullptr);
    if (!step)
        return;
    const StepResult result = judge(outcome, *step);
    m_cancelled = result.outcome == StepOutcome::Cancelled;
    logEnd(outcome, m_cancelled ? QStringLiteral("stopped by the user") : QString());
    m_waiting = true;
    emit StepEnded(result);
}

// A cancel counts only when it stopped a program that had not ended well by
// itself; otherwise the program's own outcome stands.
StepResult ConversionJob::judge(const ToolOutcome& outcome, const Step& step)
{
    StepResult result;
    if (outcome.stopped && !outcome.Succeeded()) {
        result.outcome = StepOutcome::Cancelled;
        result.text = StepResult::TextOf(result.outcome);
        return result;
    }
    if (outcome.kind == ToolOutcome::Exited)
        ToolExitCode = outcome.exitCode;
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
    return EncodeSucceeded;
}

bool ConversionJob::wantsStills() const
{
    return m_request.stills;
}

QString ConversionJob::appShort() const
{
    return m_files.ShortName(m_request.appFolder);
}

// The report is read only when it is no link; its lines go to the log.
void ConversionJob::judgeProbe(const ToolOutcome&)
{
    const QByteArray report =
        m_reportPath.isEmpty() ? QByteArray() : ReadScratch(m_reportPath, JobLog::MaxBytes);
    m_log.Output(report);
    if (const std::optional<FrameSize> size = ParseProbeReport(report)) {
        SourceWidth = size->width;
        SourceHeight = size->height;
    }
}

void ConversionJob::BuildEncoderOptions()
{
    EncoderControls controls = m_request.options;
    if (controls.watermark) {
        const CornerTexts place =
            CornerRule(m_request.corner, SourceWidth, SourceHeight, controls.left, controls.top);
        controls.left = place.left;
        controls.top = place.top;
        emit CornerPlaced(place.left, place.top);
    }
    EncoderOptions =
        ComposeEncoderOptions(controls, {appShort(), m_request.windowsDir, m_request.separator});
}

void ConversionJob::judgeEncode(const ToolOutcome& outcome)
{
    EncodeSucceeded = outcome.Succeeded();
}
