// "Stream to Servers...": the source chosen in the window, with its video,
// audio and watermark settings and the chosen format, sent live to every
// ticked server at once. Nothing is written to the output folder.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/frmStream.h"
#include "panels/DesktopSession.h"
#include "pipeline/ConversionEngine.h"
#include "pipeline/JobChecks.h"

#include <QFileInfo>

void frmMain::mnuStreamToServers_Click()
{
    if (JobRunning())
        return;
    frmStream dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        StartStreaming(dialog.ChosenUrls());
}

void frmMain::StartStreaming(const QStringList& urls)
{
    if (JobRunning())
        return;
    JobRequest job = ReadJobRequest();
    job.streamUrls = urls;
    job.stills = false;
    if (const std::optional<JobRefusal> refusal = CheckJob(job, LocalFileSystem())) {
        ShowRefusal(*refusal);
        return;
    }
    ShowProgressWindow(true);
    m_desktop->JobStarted(QFileInfo(job.source).fileName());
    m_engine->SetHoldBetweenSteps(true);
    m_engine->Add({job, std::nullopt, false});
}
