#include "app/SingleInstance.h"

#include "common/AppPaths.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace
{

QString ServerPath()
{
    return AppPaths::RuntimeFolder() + QStringLiteral("/kestrel.socket");
}

// Each file's path in UTF-8 ends with a NUL, which no path holds.
QStringList ReadFiles(const QByteArray& message)
{
    QStringList files;
    for (const QByteArray& path : message.split('\0')) {
        if (!path.isEmpty())
            files << QString::fromUtf8(path);
    }
    return files;
}

} // namespace

SingleInstance::SingleInstance()
    : m_lock(AppPaths::RuntimeFolder() + QStringLiteral("/kestrel.lock"))
{
    // A running copy holds the lock however long it runs; the lock of a copy
    // that crashed is taken over, since its process is gone.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire()
{
    if (!m_lock.tryLock(0))
        return false;
    // The lock is ours, so a socket there was left by a copy that crashed.
    QLocalServer::removeServer(ServerPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* copy = m_server->nextPendingConnection()) {
            connect(copy, &QLocalSocket::disconnected, this, [this, copy] {
                const QStringList files = ReadFiles(copy->readAll());
                copy->deleteLater();
                if (!files.isEmpty())
                    emit FilesArrived(files);
            });
        }
    });
    // Without it, later copies just say that this one runs.
    m_server->listen(ServerPath());
    return true;
}

bool SingleInstance::HandOver(const QStringList& files, int waitMs)
{
    QByteArray message;
    for (const QString& file : files)
        message += file.toUtf8() + '\0';
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QLocalSocket running;
        running.connectToServer(ServerPath());
        if (running.waitForConnected(1000)) {
            running.write(message);
            const bool sent = running.waitForBytesWritten(5000);
            running.disconnectFromServer();
            return sent;
        }
        if (waited.elapsed() >= waitMs)
            return false;
        QThread::msleep(100);
    }
}
