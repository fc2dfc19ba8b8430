#pragma once

#include "pipeline/JobChecks.h"
#include "pipeline/ToolRunner.h"

#include <QtCore>
#include <cerrno>

class FakeRunner;

// What the fake runners of a test share: each run ends, from the event loop, as the script's next
// entry says: an exit code ("2147483659": a crash), "nostart" (no program), "hang" (until stopped,
// then SIGTERM), "late" (until stopped, then ends well) or "report=TEXT" (TEXT written, exit code
// 1). Each "!" before an entry is a stop the user asks for while the program runs; "hang" and
// "late" ask for one by themselves.
struct FakeTools {
    QStringList script;
    QList<QStringList> started;
    bool paused = false;
    std::function<void()> onStop; // the user's stop
    FakeRunner* last = nullptr;   // the newest runner
};

class FakeRunner : public ToolRunner
{
public:
    explicit FakeRunner(FakeTools& tools) : m_tools(tools) { tools.last = this; }

    void Start(const QStringList& argv, const QString& outputFile) override
    {
        m_tools.started << argv;
        m_how = m_tools.script.isEmpty() ? QStringLiteral("0") : m_tools.script.takeFirst();
        int stops = 0;
        for (; m_how.startsWith(u'!'); m_how.remove(0, 1))
            ++stops;
        QFile report(outputFile);
        if (m_how.startsWith(u"report=") && report.open(QIODevice::WriteOnly))
            report.write(m_how.mid(7).toUtf8());
        const ToolOutcome outcome =
            m_how == u"nostart"            ? ToolOutcome{ToolOutcome::FailedToStart, 0, ENOENT}
            : m_how.startsWith(u"report=") ? ToolOutcome{ToolOutcome::Exited, 1}
                                           : ToolOutcome{ToolOutcome::Exited, m_how.toUInt()};
        stops += hanging();
        for (int i = 0; i < stops && m_tools.onStop; ++i)
            QTimer::singleShot(0, this, [this] { m_tools.onStop(); });
        // The program's own end comes after the stops, as late as a stop it meets.
        if (!hanging())
            QTimer::singleShot(0, this, [this, outcome] {
                QTimer::singleShot(0, this, [this, outcome] { end(outcome); });
            });
    }
    void Cancel() override
    {
        if (!m_how.isEmpty())
            QTimer::singleShot(0, this, [this, stopped = stoppedOutcome()] { end(stopped); });
    }
    std::optional<ToolOutcome> StopAndWait() override
    {
        const bool ran = !m_how.isEmpty();
        m_how.clear();
        return ran ? std::optional(ToolOutcome{ToolOutcome::Exited, 0x8000000Fu, 0, true})
                   : std::nullopt;
    }
    void Pause() override { m_tools.paused = true; }
    void Resume() override { m_tools.paused = false; }
    qint64 ProcessId() const override { return 1000 + m_tools.started.size(); }

private:
    bool hanging() const { return m_how == u"hang" || m_how == u"late"; }
    ToolOutcome stoppedOutcome() const
    {
        return {ToolOutcome::Exited, m_how == u"late" ? 0 : 0x8000000Fu, 0, true};
    }
    // A program ends once: by itself or by the stop, whichever comes first.
    void end(const ToolOutcome& outcome)
    {
        if (!std::exchange(m_how, QString()).isEmpty())
            emit Finished(outcome);
    }
    FakeTools& m_tools;
    QString m_how; // the running program's entry; empty once it has ended
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
    QString BlankFreePath(const QString& path) const override
    {
        return shortNames ? path : QString();
    }
};
