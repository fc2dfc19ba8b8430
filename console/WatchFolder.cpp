#include "console/WatchFolder.h"

#include "console/SourceList.h"
#include "console/UsageError.h"

#include <QFileInfo>
#include <QTimer>

WatchFolder::WatchFolder(const QString& folder, bool recursive, const QString& outputFolder,
                         QObject* parent)
    : QObject(parent), m_folder(folder), m_recursive(recursive), m_outputFolder(outputFolder),
      m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &WatchFolder::poll);
}

void WatchFolder::Start()
{
    m_clock.start();
    m_timer->start(PollMs);
    poll();
}

void WatchFolder::poll()
{
    QStringList videos;
    try {
        videos = CollectSources({m_folder}, m_recursive, m_outputFolder);
    } catch (const UsageError&) {
        // The folder is gone for now: nothing is there.
    }
    QHash<QString, Seen> seen;
    const qint64 now = m_clock.elapsed();
    for (const QString& path : videos) {
        const QFileInfo file(path);
        Seen was = m_seen.value(path);
        if (!m_seen.contains(path) || was.size != file.size() ||
            was.changed != file.lastModified()) {
            was = {file.size(), file.lastModified(), now, false};
        } else if (!was.handedOver && was.size > 0 && now - was.since >= SteadyMs) {
            was.handedOver = true;
            emit VideoReady(path);
        }
        seen.insert(path, was);
    }
    m_seen = seen;
}
