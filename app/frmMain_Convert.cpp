// "Start Converting": the window reads its controls into a job request, has
// it checked, and shows what the conversion job reports.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/FieldControls.h"
#include "app/MsgBox.h"
#include "app/WindowBatch.h"
#include "app/frmProgress.h"
#include "common/AppPaths.h"
#include "common/VbNumber.h"
#include "panels/DesktopSession.h"
#include "pipeline/ConversionEngine.h"
#include "pipeline/JobChecks.h"
#include "pipeline/StillsSet.h"

#include <QApplication>
#include <QDir>

bool frmMain::JobRunning() const
{
    return !m_engine->IsIdle() || m_batch;
}

void frmMain::WireJob()
{
    m_engine = new ConversionEngine(this);
    connect(m_engine, &ConversionEngine::CommandLine, m_ui->txtApp,
            [this](int, const QString& line) { m_ui->txtApp->setText(line); });
    connect(m_engine, &ConversionEngine::StillsCountShown, m_ui->txtNumImages,
            [this](int, const QString& count) { m_ui->txtNumImages->setText(count); });
    connect(m_engine, &ConversionEngine::CornerPlaced, this,
            [this](int, const QString& left, const QString& top) {
                m_ui->txtLeft->setText(left);
                m_ui->txtTop->setText(top);
            });
    connect(m_engine, &ConversionEngine::StepStarted, this, [this](int, JobStep step) {
        // The stills count the job uses is in its box by now.
        m_progress->StartStep(
            StepCaption(step),
            step == JobStep::Stills ? ParseVbInteger(m_ui->txtNumImages->text()).value.value_or(0)
                                    : 0,
            m_batch ? m_batch->Current().stillsName : QLatin1String(DefaultStillsName));
    });
    connect(m_engine, &ConversionEngine::DestinationChanged, this,
            [this](int, const DestinationState& state) { m_progress->ShowDestination(state); });
    connect(m_engine, &ConversionEngine::Progress, this,
            [this](int, const JobProgress& progress) { m_progress->ShowProgress(progress); });
    // Each step's word is shown in a box; the job goes on once it has been
    // answered. The desktop hears of it before the box holds the job. A batch
    // collects the words instead and speaks at its end.
    m_desktop = new DesktopSession([] { return QApplication::activeWindow() != nullptr; }, this);
    connect(m_engine, &ConversionEngine::StepEnded, this,
            [this](int job, const StepResult& result) {
                if (m_batch)
                    return;
                Report([this, job, result] {
                    m_desktop->JobStepEnded(result);
                    // The progress window goes first when nothing follows.
                    if (result.outcome == StepOutcome::Cancelled || result.step == JobStep::Stream)
                        m_progress->hide();
                    // A stream that missed some servers is no success to the user.
                    if (!result.text.isEmpty())
                        ShowJobWords(result.text,
                                     result.IsFailure() ||
                                         result.outcome == StepOutcome::StreamedInPart,
                                     result.details);
                    m_engine->Continue(job);
                });
            });
    connect(m_engine, &ConversionEngine::JobEnded, this, [this](int, const JobOutcome& outcome) {
        if (m_batch)
            return;
        Report([this, outcome] {
            SourceWidth = outcome.sourceWidth;
            SourceHeight = outcome.sourceHeight;
            m_desktop->JobEnded();
            JobFinished();
        });
    });
}

void frmMain::Report(const std::function<void()>& show)
{
    if (m_askingToExit)
        m_heldReports << show;
    else
        show();
}

void frmMain::ShowHeldReports()
{
    for (const std::function<void()>& show : std::exchange(m_heldReports, {}))
        Report(show);
}

JobRequest frmMain::ReadJobRequest() const
{
    JobRequest job;
    job.source = m_ui->lblInput->text();
    job.outDir = m_ui->lblOutDir->text();
    job.outFile = m_ui->txtOutFile->text();
    EncoderControls& c = job.options;
    for (const JobOption& option : JobOptions()) {
        if (option.kind == OptionKind::List)
            SetListEntry(c, option.field,
                         findChild<QComboBox*>(ControlOf(option.field))->currentText());
    }
    c.format = ChosenFormat();
    c.watermark = m_ui->chkWatermark->isChecked();
    if (c.watermark) {
        job.corner = CheckedCorner();
        c.left = m_ui->txtLeft->text();
        c.top = m_ui->txtTop->text();
        c.colorName = m_ui->ccbWatermarkColor->SelectedName();
        c.fontFileName = m_ui->cmbFontFileName->currentText();
        c.fontSize = m_ui->cmbFontSize->currentText();
        c.watermarkText = m_ui->txtWatermark->text();
        c.alpha = ParseVbInteger(m_ui->txtAlpha->text()).value;
    }
    c.disableAudio = m_ui->chkDisableAudio->isChecked();
    job.stills = m_ui->chkImage->isChecked();
    job.stillsCount = ParseVbInteger(m_ui->txtNumImages->text()).value;
    job.appFolder = AppPaths::AppFolder();
    job.fontsRoot = WindowsDir;
    job.separator = QDir::separator();
    job.sourceSize = {SourceWidth, SourceHeight};
    return job;
}

Corner frmMain::CheckedCorner() const
{
    for (int i = 0; i < 4; ++i) {
        if (findChild<QRadioButton*>(CornerControls[i])->isChecked())
            return Corner(i + 1);
    }
    return Corner::None;
}

void frmMain::ShowRefusal(const JobRefusal& refusal)
{
    MsgBox(refusal.message, vbCritical, QStringLiteral("Error"));
    if (const QString control = ControlOf(refusal.field); !control.isEmpty())
        findChild<QWidget*>(control)->setFocus();
}

void frmMain::cmdConvert_Click()
{
    if (JobRunning())
        return;
    JobRequest job = ReadJobRequest();
    if (const std::optional<JobRefusal> refusal = CheckJob(job, LocalFileSystem())) {
        ShowRefusal(*refusal);
        return;
    }
    // The encoder replaces the file without a word, so the user is asked.
    if (OutputExists(job, LocalFileSystem()) &&
        MsgBox(QStringLiteral("THE OUTPUT FILE ALREADY EXISTS! REPLACE IT?"), vbQuestionYesNo,
               QStringLiteral("Confirm")) != vbYes) {
        m_ui->txtOutFile->setFocus();
        return;
    }
    // The grab replaces an older set without a word too; a No keeps it and
    // leaves the stills out of this job.
    if (job.stills && StillsExist(job, LocalFileSystem())) {
        job.replaceStills = MsgBox(QStringLiteral("THE STILL IMAGES ALREADY EXIST! REPLACE THEM?"),
                                   vbQuestionYesNo, QStringLiteral("Confirm")) == vbYes;
        job.stills = job.replaceStills;
    }
    ShowProgressWindow();
    m_desktop->JobStarted(job.outFile);
    m_engine->SetHoldBetweenSteps(true);
    m_engine->SetReplaceOutputs(true); // the user has just been asked
    m_engine->Add({job, std::nullopt, false});
}

// The job's controls stay off while it runs, so nothing can change it.
void frmMain::ShowProgressWindow(bool streaming)
{
    EnableJobControls(false);
    if (!m_progress) {
        m_progress = new frmProgress(this);
        connect(m_progress, &frmProgress::CancelRequested, this,
                [this] { m_batch ? m_batch->Cancel() : m_engine->Stop(); });
        connect(m_progress, &frmProgress::PauseRequested, m_engine, &ConversionEngine::Pause);
    }
    m_progress->ShowVideo(QString());
    m_progress->SetStreaming(streaming);
    m_progress->show();
}

void frmMain::JobFinished()
{
    m_progress->hide();
    EnableJobControls(true);
    TakePendingFiles();
}

// The controls that make up a job, and the menus that could change it.
void frmMain::EnableJobControls(bool on)
{
    for (QWidget* w :
         {static_cast<QWidget*>(m_ui->cmdConvert), static_cast<QWidget*>(m_ui->Frame1),
          static_cast<QWidget*>(m_ui->Frame2), static_cast<QWidget*>(m_ui->Frame3),
          static_cast<QWidget*>(m_ui->Frame4), static_cast<QWidget*>(m_ui->chkWatermark)})
        w->setEnabled(on);
    m_ui->mnuWatermark->setEnabled(on);
    m_ui->mnuFormat->setEnabled(on);
    m_ui->mnuStream->setEnabled(on);
}
