// Running the external programs of a job and reporting how each ended.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/MsgBox.h"
#include "app/frmProgress.h"
#include "common/AppPaths.h"
#include "pipeline/CommandLine.h"
#include "pipeline/Commands.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/ProbeReport.h"
#include "pipeline/SystemError.h"
#include "pipeline/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

// The scratch files go beside the program, unless that folder is read-only
// (an installed copy); then into the user's runtime folder.
QString scratchFolder()
{
    const QString app = AppPaths::AppFolder();
    return QFileInfo(app).isWritable() ? app : AppPaths::RuntimeFolder();
}

} // namespace

void frmMain::RunSourceProbe(std::function<void()> then)
{
    const QString folder = scratchFolder();
    const QChar sep = QDir::separator();
    const QString app = GetShortAppFolder();
    const QString source = m_ui->lblInput->text();
    QSaveFile batch(folder + sep + QStringLiteral("input.bat"));
    if (batch.open(QIODevice::WriteOnly)) {
        batch.write(
            (BuildProbeLine(app, sep, source, GetShortName(folder)) + "\r\n").toLocal8Bit());
        batch.commit();
    }
    // The same command, run directly rather than through a shell, so that no
    // character of the source name can reach a command interpreter.
    const QString report = folder + sep + QStringLiteral("infile.txt");
    const QStringList argv = SplitCommandLine(BuildProbeCommand(app, sep, source));
    m_progress->StartStep(QStringLiteral("Reading the source video..."));
    StartTool(argv, report, [this, report, then](const ToolOutcome& outcome) {
        if (outcome.kind == ToolOutcome::Exited) {
            ToolExitCode = outcome.exitCode;
            QFile file(report);
            if (file.open(QIODevice::ReadOnly)) {
                if (const auto size = ParseProbeReport(file.readAll())) {
                    SourceWidth = size->width;
                    SourceHeight = size->height;
                }
            }
        }
        then();
    });
}

// Starts one program of the job; a cancel ends the job, any other outcome
// goes to onOutcome.
void frmMain::StartTool(const QStringList& argv, const QString& outputFile,
                        std::function<void(const ToolOutcome&)> onOutcome)
{
    disconnect(m_tool, nullptr, this, nullptr);
    if (outputFile.isEmpty()) {
        connect(m_tool, &ToolRun::Output, this, [this](const QByteArray& chunk) {
            if (m_progressParser.Feed(chunk))
                m_progress->ShowProgress(m_progressParser.Percent().value_or(-1),
                                         m_progressParser.LastStatusLine());
        });
    }
    connect(m_tool, &ToolRun::Finished, this, [this, onOutcome](const ToolOutcome& outcome) {
        disconnect(m_tool, nullptr, this, nullptr);
        if (outcome.kind == ToolOutcome::Cancelled)
            CancelledJobEnds();
        else
            onOutcome(outcome);
    });
    m_tool->Start(argv, outputFile);
    ToolProcessId = m_tool->ProcessId();
}

void frmMain::RunTool(const QString& step, std::function<void(const ToolOutcome&)> judge,
                      std::function<void()> then)
{
    const QString command = m_ui->txtApp->text();
    if (command.trimmed().isEmpty()) {
        then();
        return;
    }
    const QStringList argv = SplitCommandLine(command);
    m_progressParser = ProgressParser();
    m_progress->StartStep(step);
    StartTool(argv, QString(), [this, argv, judge, then](const ToolOutcome& outcome) {
        if (outcome.kind == ToolOutcome::FailedToStart) {
            MsgBox(QStringLiteral("CANNOT START ") + QFileInfo(argv.value(0)).fileName().toUpper() +
                       QStringLiteral("! ") + DescribeSystemError(outcome.systemError).toUpper() +
                       u'.',
                   vbCritical, QStringLiteral("Error"));
        } else {
            ToolExitCode = outcome.exitCode;
            judge(outcome);
        }
        then();
    });
}

void frmMain::RunEncode(std::function<void()> then)
{
    // Only an encoder that was seen to end with code 0 counts as a success.
    EncodeSucceeded = false;
    RunTool(
        QStringLiteral("Encoding the video..."),
        [this](const ToolOutcome& outcome) {
            EncodeSucceeded = outcome.Succeeded();
            if (!EncodeSucceeded)
                MsgBox(QStringLiteral("ENCODING FAILED! POSSIBLE REASON IS A "
                                      "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE."),
                       vbCritical, QStringLiteral("Error"));
        },
        std::move(then));
}

void frmMain::RunMetadataInjection(std::function<void()> then)
{
    RunTool(
        QStringLiteral("Adding the metadata..."),
        [](const ToolOutcome& outcome) {
            ReportOutcome(outcome, QStringLiteral("FLV METADATA INJECTION FAILED!"),
                          QStringLiteral("FLV CONVERSION SUCCESSFUL!"));
        },
        std::move(then));
}

void frmMain::RunImageGrab(std::function<void()> then)
{
    RunTool(
        QStringLiteral("Grabbing the still images..."),
        [](const ToolOutcome& outcome) {
            ReportOutcome(outcome, QStringLiteral("IMAGE GENERATION FAILED!"),
                          QStringLiteral("IMAGE(S) GENERATED!"));
        },
        std::move(then));
}

void frmMain::ReportOutcome(const ToolOutcome& outcome, const QString& failure,
                            const QString& success)
{
    if (outcome.Succeeded())
        MsgBox(success, vbInformation, QStringLiteral("Message"));
    else
        MsgBox(failure, vbCritical, QStringLiteral("Error"));
}

void frmMain::CancelledJobEnds()
{
    EndJob();
    if (!m_closing)
        MsgBox(QStringLiteral("CONVERSION CANCELLED!"), vbInformation, QStringLiteral("Message"));
}

// The window is closing: the running program is stopped and waited for.
void frmMain::StopJobForExit()
{
    m_closing = true;
    if (m_tool) {
        disconnect(m_tool, nullptr, this, nullptr);
        m_tool->StopAndWait();
    }
    m_jobRunning = false;
}
