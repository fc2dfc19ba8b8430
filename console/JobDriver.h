#pragma once

#include "console/JobEvents.h"
#include "pipeline/JobRequest.h"

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
    void Cancel();

    // How many of these jobs may run at once when asked runs are wanted: the
    // probe before a watermark writes its report to one file for all jobs.
    static int MaxAtOnce(const QList<JobRequest>& jobs, int asked);
    // Why such a job cannot run yet, if it cannot: the job names its stills
    // "cover%d.jpg" whatever the request says.
    static std::optional<QString> Unsupported(const JobRequest& job);

signals:
    void StepStarted(JobStep step, const QString& caption);
    void Progress(int percent, std::optional<int> secondsLeft);
    void StepEnded(const StepOutcome& outcome);
    void Ended(const JobEnd& end); // once, after the last step

private:
    void onStepStarted(const QString& caption);
    void onMessage(const QString& text, int style, const QString& title, const QString& details);
    void onFinished(bool cancelled);
    void closeStep();

    ConversionJob* m_job;
    std::optional<JobStep> m_step; // open until its outcome is known
    int m_percent = -1;
    QElapsedTimer m_clock;
    JobEnd m_end;
};
