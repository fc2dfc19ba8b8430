// The conversion job behind "Start Converting": the checks, then the steps
// probe, encode, inject and stills, one after the other.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/MsgBox.h"
#include "app/frmProgress.h"
#include "common/VbNumber.h"
#include "options/EncoderOptions.h"
#include "pipeline/Commands.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/ToolRun.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// Both exist and are one file, whatever links lead to them.
bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a), second(b);
    return first.exists() && second.exists() &&
           first.canonicalFilePath() == second.canonicalFilePath();
}

// The controls that make up a job, and the menu that could load other values.
void enableJobControls(Ui::frmMain* ui, bool on)
{
    for (QWidget* w : {static_cast<QWidget*>(ui->cmdConvert), static_cast<QWidget*>(ui->Frame1),
                       static_cast<QWidget*>(ui->Frame2), static_cast<QWidget*>(ui->Frame3),
                       static_cast<QWidget*>(ui->Frame4), static_cast<QWidget*>(ui->chkWatermark)})
        w->setEnabled(on);
    ui->mnuWatermark->setEnabled(on);
}

} // namespace

void frmMain::cmdConvert_Click()
{
    if (m_jobRunning || !ValidateJob())
        return;
    BeginJob();
    if (m_ui->chkWatermark->isChecked())
        RunSourceProbe([this] { EncodeStep(); });
    else
        EncodeStep();
}

bool frmMain::ValidateJob()
{
    auto refuse = [](const QString& message, QWidget* focus) {
        MsgBox(message, vbCritical, QStringLiteral("Error"));
        if (focus)
            focus->setFocus();
        return false;
    };
    const QString source = m_ui->lblInput->text();
    const QString folder = m_ui->lblOutDir->text();
    const QString name = m_ui->txtOutFile->text();
    const bool watermark = m_ui->chkWatermark->isChecked();
    if (source.isEmpty())
        return refuse(QStringLiteral("NO FILE TO ENCODE!"), m_ui->cmdInput);
    if (folder.isEmpty())
        return refuse(QStringLiteral("OUTPUT FOLDER MISSING!"), m_ui->cmdOutput);
    if (name.isEmpty())
        return refuse(QStringLiteral("OUTPUT FILE NAME MISSING!"), m_ui->txtOutFile);
    if (name.right(4).toLower() != u".flv")
        return refuse(QStringLiteral("INVALID OUTPUT FILE NAME! MUST BE A .FLV FILE."),
                      m_ui->txtOutFile);
    if (watermark && m_ui->txtWatermark->text().isEmpty())
        return refuse(QStringLiteral("WATERMARK TEXT MISSING!"), m_ui->txtWatermark);
    // The opacity comes from a settings file and may hold anything.
    if (watermark && !ParseVbInteger(m_ui->txtAlpha->text()).ok())
        return refuse(QStringLiteral("INVALID WATERMARK OPACITY! LOAD A VALID SETTINGS FILE."),
                      nullptr);
    if (m_ui->chkImage->isChecked() && !ParseVbInteger(m_ui->txtNumImages->text()).ok())
        return refuse(QStringLiteral("NUMBER OF IMAGES MUST BE A NUMBER!"), m_ui->txtNumImages);
    if (sameFile(source, folder + name))
        return refuse(QStringLiteral("THE OUTPUT FILE IS THE SOURCE FILE! CHOOSE ANOTHER OUTPUT "
                                     "FILE NAME OR FOLDER."),
                      m_ui->txtOutFile);
    return true;
}

// The job's controls stay off while it runs, so nothing can change it.
void frmMain::BeginJob()
{
    m_jobRunning = true;
    enableJobControls(m_ui.get(), false);
    if (!m_tool) {
        m_tool = new ToolRun(this);
        m_progress = new frmProgress(this);
        connect(m_progress, &frmProgress::CancelRequested, this, &frmMain::CancelJob);
    }
    m_progress->show();
}

void frmMain::EndJob()
{
    m_jobRunning = false;
    m_progress->hide();
    enableJobControls(m_ui.get(), true);
}

void frmMain::CancelJob()
{
    if (m_jobRunning && m_tool)
        m_tool->Cancel();
}

void frmMain::BuildEncoderOptions()
{
    EncoderControls c;
    c.videoBitrate = m_ui->cmbVideoBitrate->currentText();
    c.videoWindow = m_ui->cmbVideoWindow->currentText();
    c.videoFrameRate = m_ui->cmbVideoFrameRate->currentText();
    c.watermark = m_ui->chkWatermark->isChecked();
    if (c.watermark) {
        Corner corner = Corner::None;
        if (m_ui->optTopLeft->isChecked())
            corner = Corner::TopLeft;
        else if (m_ui->optTopRight->isChecked())
            corner = Corner::TopRight;
        else if (m_ui->optBottomLeft->isChecked())
            corner = Corner::BottomLeft;
        else if (m_ui->optBottomRight->isChecked())
            corner = Corner::BottomRight;
        const CornerTexts place = CornerRule(corner, SourceWidth, SourceHeight,
                                             m_ui->txtLeft->text(), m_ui->txtTop->text());
        m_ui->txtLeft->setText(place.left);
        m_ui->txtTop->setText(place.top);
        c.colorName = m_ui->ccbWatermarkColor->SelectedName();
        c.fontFileName = m_ui->cmbFontFileName->currentText();
        c.fontSize = m_ui->cmbFontSize->currentText();
        c.alpha = ParseVbInteger(m_ui->txtAlpha->text()).value.value_or(255);
        c.left = m_ui->txtLeft->text();
        c.top = m_ui->txtTop->text();
        c.watermarkText = m_ui->txtWatermark->text();
    }
    c.disableAudio = m_ui->chkDisableAudio->isChecked();
    if (!c.disableAudio) {
        c.audioSampling = m_ui->cmbAudioSampling->currentText();
        c.audioBitrate = m_ui->cmbAudioBitrate->currentText();
        c.audioChannel = m_ui->cmbAudioChannel->currentText();
    }
    EncoderOptions = ComposeEncoderOptions(c, {GetShortAppFolder(), WindowsDir, QDir::separator()});
}

void frmMain::EncodeStep()
{
    BuildEncoderOptions();
    m_ui->txtApp->setText(BuildEncodeCommand(GetShortAppFolder(), QDir::separator(),
                                             m_ui->lblInput->text(), EncoderOptions,
                                             m_ui->lblOutDir->text(), m_ui->txtOutFile->text()));
    RunEncode([this] {
        if (EncodeSucceeded)
            InjectStep();
        else
            StillsStep();
    });
}

void frmMain::InjectStep()
{
    m_ui->txtApp->setText(BuildInjectCommand(GetShortAppFolder(), QDir::separator(),
                                             m_ui->lblOutDir->text(), m_ui->txtOutFile->text()));
    RunMetadataInjection([this] { StillsStep(); });
}

// Stills come from the source, whatever became of the encoding.
void frmMain::StillsStep()
{
    if (!m_ui->chkImage->isChecked()) {
        EndJob();
        return;
    }
    if (ParseVbInteger(m_ui->txtNumImages->text()).value == 0)
        m_ui->txtNumImages->setText(QStringLiteral("10"));
    m_ui->txtApp->setText(BuildStillsCommand(
        GetShortAppFolder(), QDir::separator(), m_ui->lblInput->text(),
        m_ui->cmbVideoWindow->currentText(), m_ui->txtNumImages->text(), m_ui->lblOutDir->text()));
    RunImageGrab([this] { EndJob(); });
}
