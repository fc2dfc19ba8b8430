#pragma once

#include "pipeline/BatchPlan.h"
#include "pipeline/StepResult.h"

#include <QObject>

class ConversionEngine;

// Many videos converted one after the other by the window's engine, with the
// window's settings. Nothing is shown while it runs: each video's outcome is
// collected, and the end brings one summary in the window's words.
class WindowBatch : public QObject
{
    Q_OBJECT
public:
    // The jobs have passed their checks; those whose output exists are
    // skipped unless replace. The engine must run nothing else meanwhile.
    WindowBatch(ConversionEngine& engine, const QList<PlannedJob>& jobs, bool replace,
                QObject* parent = nullptr);

    // The first video starts from the event loop; Ended follows once.
    void Start();
    // Stops the videos by the engine's rule.
    void Cancel();
    // The window is closing: Ended does not follow.
    void StopForExit() { m_silent = true; }
    // The request of the video that runs now.
    const JobRequest& Current() const { return m_videos[m_current].request; }

signals:
    // "Video 2 of 5: clip.avi"
    void VideoStarted(const QString& caption);
    // The summary: a line for each video, a failure's details, and the
    // gravest outcome (a failure, else a cancel, else a conversion).
    void Ended(const StepResult& summary);

private:
    struct Video {
        JobRequest request;
        bool outputExists = false; // the FLV or the first still
        int number = 0;            // the engine's
        JobOutcome outcome;
    };

    StepResult summary() const;

    ConversionEngine& m_engine;
    QList<Video> m_videos;
    qsizetype m_current = 0;
    qsizetype m_started = 0;
    qsizetype m_toRun = 0;
    bool m_replace = false;
    bool m_stopping = false;
    bool m_silent = false;
};

// The plan's jobs whose FLV, or first still when stills are wanted, is there
// already count as having outputs; returns how many.
int MarkExistingOutputs(BatchPlan& plan, const JobFileSystem& files);

// Why the batch cannot start: the videos its checks refused (one message as
// for a single video when all are refused alike), else the clashes.
std::optional<JobRefusal> RefuseBatch(const BatchPlan& plan);
