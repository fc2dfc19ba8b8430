#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QTimer;

// Watches a folder for the videos a folder argument would give (see
// CollectSources) and hands each over once it is ready: once its size and
// time of change have stayed the same for 2 seconds. An empty file is not
// ready. A video is handed over once, and again only after it has changed.
class WatchFolder : public QObject
{
    Q_OBJECT
public:
    WatchFolder(const QString& folder, bool recursive, const QString& outputFolder,
                QObject* parent = nullptr);

    static constexpr int SteadyMs = 2000;
    static constexpr int PollMs = 500;

    // The videos there now are looked at first, at once.
    void Start();

signals:
    void VideoReady(const QString& path);

private:
    void poll();

    struct Seen {
        qint64 size = 0;
        QDateTime changed;
        qint64 since = 0; // on m_clock
        bool handedOver = false;
    };
    QString m_folder;
    bool m_recursive;
    QString m_outputFolder;
    QTimer* m_timer;
    QElapsedTimer m_clock;
    QHash<QString, Seen> m_seen;
};
