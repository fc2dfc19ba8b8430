#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>

class QLocalServer;

// One copy of the program per user: the first holds a lock in the user's
// runtime folder and listens beside it, and a later copy started with files
// ("Open With") hands them over instead of opening a window of its own.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    SingleInstance();
    ~SingleInstance() override;

    // True when no other copy runs; this one then takes the later copies' files.
    bool Acquire();
    // Hands the files to the running copy, waiting up to waitMs for it to
    // listen; true once they are on their way.
    static bool HandOver(const QStringList& files, int waitMs);

signals:
    void FilesArrived(const QStringList& files);

private:
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
