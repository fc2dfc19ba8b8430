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
        const QString how = script.isEmpty() ? QStringLiteral("0") : script.takeFirst();
        ToolOutcome outcome;
        if (how.startsWith(u"report=")) {
            QFile report(outputFile);
            if (report.open(QIODevice::WriteOnly))
                report.write(how.mid(7).toUtf8());
            outcome.exitCode = 1;
        } else if (how == u"nostart") {
            outcome = {ToolOutcome::FailedToStart, 0, ENOENT};
        } else {
            outcome.exitCode = how.toUInt();
        }
        m_hanging = how == u"hang" || how == u"late";
        m_late = how == u"late";
        if (m_hanging && onHang)
            QTimer::singleShot(0, this, onHang);
        else if (!m_hanging)
            QTimer::singleShot(0, this, [this, outcome] { emit Finished(outcome); });
    }
    void Cancel() override
    {
        const ToolOutcome stopped{ToolOutcome::Exited, m_late ? 0 : 0x8000000Fu, 0, true};
        if (m_hanging)
            QTimer::singleShot(0, this, [this, stopped] { emit Finished(stopped); });
        m_hanging = false;
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
    bool m_hanging = false;
    bool m_late = false;
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
