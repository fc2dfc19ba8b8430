// Several videos dropped on "Convert Videos to FLV" (or opened together):
// once the user agrees, they are converted one after the other into the
// output folder with the window's settings, and one box tells how each went.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/MsgBox.h"
#include "app/WindowBatch.h"
#include "app/frmProgress.h"
#include "panels/DesktopSession.h"
#include "pipeline/BatchPlan.h"
#include "pipeline/JobChecks.h"

#include <QFileInfo>

// No takes the first item as a drop of it alone would.
void frmMain::OfferBatch(const QStringList& videos, const QString& firstItem)
{
    if (JobRunning())
        return;
    if (MsgBox(QStringLiteral("CONVERT ALL %1 VIDEOS WITH THESE SETTINGS?").arg(videos.size()),
               vbQuestionYesNo, QStringLiteral("Confirm")) != vbYes) {
        TakeDroppedItem(firstItem);
        return;
    }
    if (m_ui->lblOutDir->text().isEmpty())
        ChooseOutputFolder(QFileInfo(videos.first()).absolutePath());
    if (!m_ui->lblOutDir->text().isEmpty())
        StartBatch(videos);
}

// Nothing starts unless every video passes the window's checks and no two
// would write one file; existing outputs are replaced only after a Yes.
void frmMain::StartBatch(const QStringList& videos)
{
    const JobRequest settings = ReadJobRequest();
    QList<JobRequest> requests;
    for (const QString& video : videos) {
        requests << settings;
        requests.last().source = video;
    }
    BatchPlan plan = PlanBatch(requests, LocalFileSystem());
    if (const std::optional<JobRefusal> refusal = RefuseBatch(plan)) {
        ShowRefusal(*refusal);
        return;
    }
    const int existing = MarkExistingOutputs(plan, LocalFileSystem());
    const QString question =
        existing == 1
            ? QStringLiteral("1 OUTPUT FILE ALREADY EXISTS! REPLACE IT?")
            : QStringLiteral("%1 OUTPUT FILES ALREADY EXIST! REPLACE THEM?").arg(existing);
    const bool replace =
        existing > 0 && MsgBox(question, vbQuestionYesNo, QStringLiteral("Confirm")) == vbYes;

    m_batch = new WindowBatch(*m_engine, plan.jobs, replace, this);
    ShowProgressWindow();
    connect(m_batch, &WindowBatch::VideoStarted, m_progress, &frmProgress::ShowVideo);
    connect(m_batch, &WindowBatch::Ended, this, [this](const StepResult& summary) {
        Report([this, summary] { BatchEnded(summary); });
    });
    m_desktop->JobStarted(settings.outDir);
    m_batch->Start();
}

// The desktop hears of the batch once, before the box holds the window.
void frmMain::BatchEnded(const StepResult& summary)
{
    m_progress->hide();
    m_desktop->JobStepEnded(summary);
    m_desktop->JobEnded();
    ShowJobWords(summary.text, summary.IsFailure(), summary.details);
    std::exchange(m_batch, nullptr)->deleteLater();
    JobFinished();
}
