#pragma once

#include "pipeline/JobChecks.h"
#include "pipeline/ToolRunner.h"

#include <QFile>
#include <QMap>
#include <QTimer>
#include <cerrno>

// A runner that starts no process: each run ends as the next entry of the
// script says, from the event loop: an exit code ("0", "1", "2147483659" for
// a crash), "nostart" (the program is missing), "hang" (runs until
// cancelled, then dies of SIGTERM), "late" (runs until cancelled, then ends
// well: the cancel met its end), or "report=TEXT" (writes TEXT to the output
// file, exit code 1).
class FakeRunner : public ToolRunner
{
public:
    QStringList script;
    QList<QStringList> started;
    bool stopped = false;
    bool paused = false;
    std::function<void()> onHang; // called once a "hang" run has started

    void Start(const QStringList& argv, const QString& outputFile) override
    {
        started << argv;
        m_how = script.isEmpty() ? QStringLiteral("0") : script.takeFirst();
        QFile report(outputFile);
        if (m_how.startsWith(u"report=") && report.open(QIODevice::WriteOnly))
            report.write(m_how.mid(7).toUtf8());
        const ToolOutcome outcome =
            m_how == u"nostart"            ? ToolOutcome{ToolOutcome::FailedToStart, 0, ENOENT}
            : m_how.startsWith(u"report=") ? ToolOutcome{ToolOutcome::Exited, 1}
                                           : ToolOutcome{ToolOutcome::Exited, m_how.toUInt()};
        if (!hanging())
            QTimer::singleShot(0, this, [this, outcome] { emit Finished(outcome); });
        else if (onHang)
            QTimer::singleShot(0, this, onHang);
    }
    void Cancel() override
    {
        const ToolOutcome stopped{ToolOutcome::Exited, m_how == u"late" ? 0 : 0x8000000Fu, 0, true};
        if (hanging())
            QTimer::singleShot(0, this, [this, stopped] { emit Finished(stopped); });
        m_how.clear();
    }
    void StopAndWait() override
    {
        stopped = true;
        Cancel();
    }
    void Pause() override { paused = true; }
    void Resume() override { paused = false; }
    qint64 ProcessId() const override { return 1000 + started.size(); }

private:
    bool hanging() const { return m_how == u"hang" || m_how == u"late"; }
    QString m_how; // the running program's entry
};

// Paths exist when listed; a path is the same file as another when both are
// listed under the same key; short names are the paths themselves, or none.
class FakeFileSystem : public JobFileSystem
{
public:
    QMap<QString, QString> files; // path -> identity
    bool shortNames = true;
    bool Exists(const QString& path) const override { return files.contains(path); }
    bool SameFile(const QString& a, const QString& b) const override
    {
        return Exists(a) && Exists(b) && files[a] == files[b];
    }
    QString ShortName(const QString& path) const override { return shortNames ? path : QString(); }
};
