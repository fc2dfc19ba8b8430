#pragma once

#include "console/JobEvents.h"
#include "pipeline/JobRequest.h"
#include "pipeline/StepResult.h"

#include <QElapsedTimer>
#include <QObject>

class ConversionJob;

// Runs one conversion job with the programs of the application folder and
// says what it does in the console program's terms. This is the one file that
// knows how the conversion job reports.
class JobDriver : public QObject
{
    Q_OBJECT
public:
    explicit JobDriver(QObject* parent = nullptr);

    void Start(const JobRequest& request);
    // Stops the job as the window's Cancel does, and starts no step after
    // it, but for the injection that completes a good encode: that one runs
    // to its end, so that an FLV left behind always has its metadata. A
    // second call stops that too.
    void Stop();

signals:
    void StepStarted(JobStep step, const QString& caption);
    void Progress(int percent, std::optional<int> secondsLeft);
    void StepEnded(const StepReport& report);
    void Ended(const JobEnd& end); // once, after the last step

private:
    void onStepStarted(const QString& caption);
    void onStepEnded(const StepResult& result);
    void stopBetweenSteps();
    void end();

    ConversionJob* m_job;
    bool m_stills = false;
    std::optional<JobStep> m_next; // the step that starts next, if any
    JobStep m_step = JobStep::Encode;
    bool m_stepRunning = false;
    bool m_stopping = false;
    bool m_ended = false;
    int m_percent = -1;
    QElapsedTimer m_clock;
    JobEnd m_end;
};
