#pragma once

#include "pipeline/JobChecks.h"
#include "pipeline/ToolRunner.h"

#include <QtCore>
#include <cerrno>

// A runner that starts no process: each run ends, from the event loop, as the script's next entry
// says: an exit code ("2147483659": a crash), "nostart" (no program), "hang" (until cancelled, then
// SIGTERM), "late" (until cancelled, then ends well) or "report=TEXT" (TEXT written, exit code 1).
class FakeRunner : public ToolRunner
{
public:
    QStringList script;
    QList<QStringList> started;
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
    std::optional<ToolOutcome> StopAndWait() override
    {
        const bool ran = hanging();
        Cancel();
        return ran ? std::optional(ToolOutcome{ToolOutcome::Exited, 0x8000000Fu, 0, true})
                   : std::nullopt;
    }
    void Pause() override { paused = true; }
    void Resume() override { paused = false; }
    qint64 ProcessId() const override { return 1000 + started.size(); }

private:
    bool hanging() const { return m_how == u"hang" || m_how == u"late"; }
    QString m_how; // the running program's entry
};

// Listed paths exist, one file when listed with one identity; short names: the paths, or none.
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
