#include "pipeline/ConversionJob.h"

#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "common/MessageStyle.h"
#include "common/VbNumber.h"
#include "pipeline/Commands.h"
#include "pipeline/JobChecks.h"
#include "pipeline/StillsSet.h"
#include "pipeline/SystemError.h"
#include "pipeline/ToolRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

// The probe's command file and report go beside the program, unless that
// folder is read-only (an installed copy); then into the user's runtime folder.
QString scratchFolder(const QString& appFolder)
{
    return QFileInfo(appFolder).isWritable() ? appFolder : AppPaths::RuntimeFolder();
}

} // namespace

// One step of the job: when it runs, its command line, and how the program's
// end is judged (by a function of its own, or by the two messages).
struct ConversionJob::Step {
    const char* caption;
    bool (ConversionJob::*wanted)() const;
    QString (ConversionJob::*command)();
    void (ConversionJob::*judge)(const ToolOutcome&);
    const char* success;
    const char* failure;

    // The probe's output goes to its report file, and a probe that cannot
    // run is no failure.
    bool isProbe() const { return judge == &ConversionJob::judgeProbe; }
};

const QList<ConversionJob::Step>& ConversionJob::Steps()
{
    static const QList<Step> steps = {
        {"Reading the source video...", &ConversionJob::wantsProbe, &ConversionJob::probeCommand,
         &ConversionJob::judgeProbe, nullptr, nullptr},
        {"Encoding the video...", &ConversionJob::always, &ConversionJob::encodeCommand,
         &ConversionJob::judgeEncode, nullptr, nullptr},
        {"Adding the metadata...", &ConversionJob::wantsInjection, &ConversionJob::injectCommand,
         nullptr, "FLV CONVERSION SUCCESSFUL!", "FLV METADATA INJECTION FAILED!"},
        {StillsStep, &ConversionJob::wantsStills, &ConversionJob::stillsCommand, nullptr,
         "IMAGE(S) GENERATED!", "IMAGE GENERATION FAILED!"},
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
    m_stepIndex = -1;
    m_log.Begin(JobLog::DefaultFolder(), QDateTime::currentDateTime());
    nextStep();
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

void ConversionJob::StopForExit()
{
    m_running = false;
    m_current = nullptr; // whatever the runner says now is not shown
    m_runner->StopAndWait();
}

void ConversionJob::nextStep()
{
    const QList<Step>& steps = Steps();
    while (++m_stepIndex < steps.size()) {
        const Step& step = steps[m_stepIndex];
        if (!(this->*step.wanted)())
            continue;
        const QString command = (this->*step.command)();
        if (&step != &steps.first())
            emit CommandLine(command);
        runStep(step, command);
        return;
    }
    m_running = false;
    emit Finished(false);
}

void ConversionJob::RunEncode(const QString& command)
{
    runStep(Steps()[1], command);
}

void ConversionJob::RunMetadataInjection(const QString& command)
{
    runStep(Steps()[2], command);
}

void ConversionJob::RunImageGrab(const QString& command)
{
    runStep(Steps()[3], command);
}

void ConversionJob::runStep(const Step& step, const QString& command)
{
    if (command.trimmed().isEmpty()) {
        if (m_running)
            nextStep();
        return;
    }
    // Only an encoder that was seen to end with code 0 counts as a success.
    if (step.judge == &ConversionJob::judgeEncode)
        EncodeSucceeded = false;
    m_current = &step;
    m_progress = ProgressParser();
    m_log.ProgramStarted(command);
    m_clock.start();
    emit StepStarted(QString::fromLatin1(step.caption));
    const QStringList argv = SplitCommandLine(command);
    m_program = argv.value(0);
    m_runner->Start(argv, step.isProbe() ? m_reportPath : QString());
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
    const Step* step = m_current;
    m_current = nullptr;
    if (!step)
        return;
    logEnd(outcome, *step);
    if (outcome.kind == ToolOutcome::Cancelled) {
        m_running = false;
        emit Finished(true);
        emit Message(QStringLiteral("CONVERSION CANCELLED!"), vbInformation,
                     QStringLiteral("Message"), QString());
        return;
    }
    report(outcome, *step);
    if (m_running)
        nextStep();
}

void ConversionJob::report(const ToolOutcome& outcome, const Step& step)
{
    if (outcome.kind == ToolOutcome::FailedToStart) {
        if (!step.isProbe()) // a probe that cannot run just finds no size
            failure(QStringLiteral("CANNOT START ") + QFileInfo(m_program).fileName().toUpper() +
                    QStringLiteral("! ") + DescribeSystemError(outcome.systemError).toUpper() +
                    u'.');
        return;
    }
    ToolExitCode = outcome.exitCode;
    if (step.judge) {
        (this->*step.judge)(outcome);
        return;
    }
    if (outcome.Succeeded()) {
        if (&step == &Steps()[3] && m_request.replaceStills)
            RemoveStillsAbove(m_request.outDir, m_stillsCount);
        emit Message(QString::fromLatin1(step.success), vbInformation, QStringLiteral("Message"),
                     QString());
    } else {
        failure(QString::fromLatin1(step.failure));
    }
}

void ConversionJob::failure(const QString& text)
{
    emit Message(text, vbCritical, QStringLiteral("Error"), m_log.Details());
}

void ConversionJob::logEnd(const ToolOutcome& outcome, const Step& step)
{
    QFile report(m_reportPath);
    if (step.isProbe() && report.open(QIODevice::ReadOnly))
        m_log.Output(report.read(JobLog::MaxBytes));
    QString how;
    if (outcome.kind == ToolOutcome::FailedToStart)
        how = QStringLiteral("could not start: ") + DescribeSystemError(outcome.systemError);
    else if (outcome.kind == ToolOutcome::Cancelled)
        how = QStringLiteral("stopped by the user");
    else if (outcome.exitCode >= 0x80000000u)
        how = QStringLiteral("killed by signal %1").arg(outcome.exitCode - 0x80000000u);
    else
        how = QStringLiteral("exit code %1").arg(outcome.exitCode);
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

// Writes the command file input.bat, the record of how the report was made,
// and runs the same command directly (never through a shell, so that no
// character of the source name reaches a command interpreter).
QString ConversionJob::probeCommand()
{
    const QString folder = scratchFolder(m_request.appFolder);
    const QChar sep = m_request.separator;
    QSaveFile batch(folder + sep + QStringLiteral("input.bat"));
    if (batch.open(QIODevice::WriteOnly)) {
        batch.write((BuildProbeLine(appShort(), sep, m_request.source, m_files.ShortName(folder)) +
                     QStringLiteral("\r\n"))
                        .toLocal8Bit());
        batch.commit();
    }
    m_reportPath = folder + sep + QStringLiteral("infile.txt");
    return BuildProbeCommand(appShort(), sep, m_request.source);
}

void ConversionJob::judgeProbe(const ToolOutcome&)
{
    QFile report(m_reportPath);
    if (!report.open(QIODevice::ReadOnly))
        return;
    if (const std::optional<FrameSize> size = ParseProbeReport(report.readAll())) {
        SourceWidth = size->width;
        SourceHeight = size->height;
    }
}

QString ConversionJob::encodeCommand()
{
    BuildEncoderOptions();
    return BuildEncodeCommand(appShort(), m_request.separator, m_request.source, EncoderOptions,
                              m_request.outDir, m_request.outFile);
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
        controls.alpha = ParseVbInteger(m_request.alphaText).value.value_or(255);
    }
    EncoderOptions =
        ComposeEncoderOptions(controls, {appShort(), m_request.windowsDir, m_request.separator});
}

void ConversionJob::judgeEncode(const ToolOutcome& outcome)
{
    EncodeSucceeded = outcome.Succeeded();
    if (!EncodeSucceeded)
        failure(QStringLiteral("ENCODING FAILED! POSSIBLE REASON IS A "
                               "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE."));
}

QString ConversionJob::injectCommand()
{
    return BuildInjectCommand(appShort(), m_request.separator, m_request.outDir, m_request.outFile);
}

// Stills come from the source, whatever became of the encoding.
QString ConversionJob::stillsCommand()
{
    // The count goes as the number read from the box ("+3" gives 3).
    qint16 count = ParseVbInteger(m_request.stillsCount).value.value_or(0);
    if (count == 0) {
        count = 10;
        emit StillsCountShown(QStringLiteral("10"));
    }
    m_stillsCount = count;
    return BuildStillsCommand(appShort(), m_request.separator, m_request.source,
                              m_request.options.videoWindow, QString::number(count),
                              m_request.outDir);
}
