// Files dropped on the window, and the video given on the command line: a
// file dropped on "Convert Videos to FLV" is taken as the source, a folder as
// the output folder; an FLV dropped on "Play FLV Files" plays.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

// With take false, only tells whether the drop would be taken. Only the
// first item counts; addresses that are not local files, files other than
// FLV on the player's tab, and anything while a job runs are left alone.
bool frmMain::TakeDrop(const QMimeData* data, bool take)
{
    if (JobRunning() || !data || data->urls().isEmpty() || !data->urls().first().isLocalFile())
        return false;
    const QFileInfo file(data->urls().first().toLocalFile());
    const QWidget* tab = m_ui->sstThis->currentWidget();
    if (tab == m_ui->tabPlay) {
        if (!file.isFile() || file.suffix().compare(u"flv", Qt::CaseInsensitive) != 0)
            return false;
        if (take)
            m_ui->swfControl->SetVariable(QStringLiteral("varFlvFile"), file.absoluteFilePath());
        return true;
    }
    if (tab != m_ui->tabConvert || !file.exists())
        return false;
    if (take && file.isDir())
        TakeOutputFolder(file.absoluteFilePath());
    else if (take)
        TakeSource(file.absoluteFilePath(), file.fileName());
    return true;
}

void frmMain::TakeFileFromCommandLine(const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())});
    TakeDrop(&data, true);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (TakeDrop(event->mimeData(), false))
        event->acceptProposedAction();
}

void frmMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (TakeDrop(event->mimeData(), false))
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmMain::dropEvent(QDropEvent* event)
{
    if (TakeDrop(event->mimeData(), true))
        event->acceptProposedAction();
}
