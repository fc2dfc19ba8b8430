#pragma once

#include "pipeline/Commands.h"
#include "pipeline/Progress.h"
#include "pipeline/StreamDestinations.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// The small window that stands beside the main window while a job runs: the
// step, how far it is, the encoder's last status line ("Paused" while paused),
// Pause and Cancel. It is not modal: the main window still repaints and takes
// its close box.
class frmProgress : public QDialog
{
    Q_OBJECT
public:
    explicit frmProgress(QWidget* owner);

    // stills > 0: the step grabs that many stills, named after stillsName
    // ("%d" is the number); it shows their names instead of the encoder's lines.
    void StartStep(const QString& step, int stills = 0,
                   const QString& stillsName = QLatin1String(DefaultStillsName));
    // In a batch, which video runs ("Video 2 of 5: clip.avi"); empty hides it.
    void ShowVideo(const QString& caption);
    // percent < 0: unknown, the bar just shows that work goes on.
    void ShowProgress(const JobProgress& progress);
    // Streaming: "Streaming" with each server's state and Stop for Cancel;
    // no pause, as the servers' viewers would see the stream stand still.
    // Otherwise the window of a conversion.
    void SetStreaming(bool streaming);
    void ShowDestination(const DestinationState& state);
    bool IsStreaming() const { return m_streaming; }

signals:
    void CancelRequested();
    void PauseRequested(bool paused);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QLabel* m_video;
    QLabel* m_step;
    QProgressBar* m_bar;
    QLabel* m_remaining;
    QLabel* m_status;
    QLabel* m_destinations;
    QList<DestinationState> m_destinationStates;
    bool m_streaming = false;
    QPushButton* m_pause;
    QPushButton* m_cancel;
    QElapsedTimer m_elapsed;
    // Time left counts only the time the program worked.
    QElapsedTimer m_pausedSince;
    qint64 m_pausedMs = 0;
    QString m_statusLine;
    int m_stills = 0;

    void setPaused(bool paused);
    void showStatus();
};
