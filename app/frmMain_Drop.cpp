// Files dropped on the window, and the videos given on the command line: a
// file dropped on "Convert Videos to FLV" is taken as the source, a folder as
// the output folder, several videos are offered as a batch; an FLV dropped on
// "Play FLV Files" plays.
#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/MsgBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

// With take false, only tells whether the drop would be taken. Only the
// first item counts, unless two or more files are dropped for conversion;
// addresses that are not local files, files other than FLV on the player's
// tab, and anything while a job runs are left alone.
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
    if (!take)
        return true;
    QStringList videos;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir())
            videos << QFileInfo(url.toLocalFile()).absoluteFilePath();
    }
    if (videos.size() < 2)
        TakeDroppedItem(file.absoluteFilePath());
    else // asked from the event loop, so that the question does not hold the drop
        QMetaObject::invokeMethod(
            this, [this, videos, first = file.absoluteFilePath()] { OfferBatch(videos, first); },
            Qt::QueuedConnection);
    return true;
}

void frmMain::TakeDroppedItem(const QString& path)
{
    const QFileInfo item(path);
    if (item.isDir())
        TakeOutputFolder(path);
    else
        TakeSource(path, item.fileName());
}

void frmMain::TakeFilesFromCommandLine(const QStringList& paths)
{
    m_pendingFiles.clear();
    for (const QString& path : paths)
        m_pendingFiles << QFileInfo(path).absoluteFilePath();
    TakePendingFiles();
}

// Called again when start-up is over and when a job ends.
void frmMain::TakePendingFiles()
{
    if (m_pendingFiles.isEmpty() || !isVisible() || JobRunning())
        return;
    const QStringList files = std::exchange(m_pendingFiles, {});
    if (!QFileInfo::exists(files.first())) {
        MsgBox(QStringLiteral("THE SOURCE FILE DOES NOT EXIST!"), vbCritical,
               QStringLiteral("Error"));
        return;
    }
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    QMimeData data;
    data.setUrls(urls);
    m_ui->sstThis->setCurrentWidget(m_ui->tabConvert);
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
