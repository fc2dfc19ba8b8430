#include "app/frmProgress.h"

#include "pipeline/Progress.h"
#include "pipeline/StillsSet.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

frmProgress::frmProgress(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Converting"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);

    m_video = new QLabel(this);
    m_video->setObjectName(QStringLiteral("lblVideo"));
    m_video->setTextFormat(Qt::PlainText);
    m_video->hide();
    m_step = new QLabel(this);
    m_step->setObjectName(QStringLiteral("lblStep"));
    QFont bold = m_step->font();
    bold.setBold(true);
    m_step->setFont(bold);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("prgDone"));
    m_remaining = new QLabel(this);
    m_remaining->setObjectName(QStringLiteral("lblRemaining"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setMinimumWidth(360);
    m_destinations = new QLabel(this);
    m_destinations->setObjectName(QStringLiteral("lblDestinations"));
    m_destinations->setTextFormat(Qt::PlainText);
    m_destinations->setWordWrap(true);
    m_destinations->hide();
    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setObjectName(QStringLiteral("cmdPause"));
    connect(m_pause, &QPushButton::clicked, this, [this] {
        setPaused(!m_pausedSince.isValid());
        emit PauseRequested(m_pausedSince.isValid());
    });
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(m_cancel, &QPushButton::clicked, this, &frmProgress::CancelRequested);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_video);
    layout->addWidget(m_step);
    layout->addWidget(m_bar);
    layout->addWidget(m_remaining);
    layout->addWidget(m_status);
    layout->addWidget(m_destinations);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pause);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    setFixedWidth(400);
}

void frmProgress::SetStreaming(bool streaming)
{
    m_streaming = streaming;
    setWindowTitle(streaming ? QStringLiteral("Streaming") : QStringLiteral("Converting"));
    m_pause->setVisible(!streaming);
    m_cancel->setText(streaming ? QStringLiteral("&Stop") : QStringLiteral("&Cancel"));
    m_destinationStates.clear();
    m_destinations->clear();
    m_destinations->setVisible(streaming);
    // The servers' states say more than FFmpeg's line would.
    m_status->setVisible(!streaming);
    adjustSize();
}

void frmProgress::ShowDestination(const DestinationState& state)
{
    RecordDestinationState(m_destinationStates, state);
    QStringList lines;
    for (const DestinationState& each : std::as_const(m_destinationStates))
        lines << QStringLiteral("%1. %2: %3").arg(each.number).arg(each.url, each.state) +
                     (each.message.isEmpty() ? QString() : QStringLiteral(": ") + each.message);
    m_destinations->setText(lines.join(u'\n'));
    adjustSize();
}

void frmProgress::ShowVideo(const QString& caption)
{
    m_video->setText(m_video->fontMetrics().elidedText(caption, Qt::ElideMiddle, 380));
    m_video->setVisible(!caption.isEmpty());
}

void frmProgress::StartStep(const QString& step, int stills, const QString& stillsName)
{
    m_step->setText(step);
    m_stills = stills;
    m_remaining->clear();
    const auto still = [&](int n) { return StillName(stillsName, n); };
    m_statusLine = stills == 1  ? QStringLiteral("Writing ") + still(1)
                   : stills > 1 ? QStringLiteral("Writing %1 to %2").arg(still(1), still(stills))
                                : QString();
    m_bar->setRange(0, 0);
    m_elapsed.start();
    m_pausedMs = 0;
    setPaused(false);
}

void frmProgress::setPaused(bool paused)
{
    if (paused) {
        m_pausedSince.start();
    } else if (m_pausedSince.isValid()) {
        m_pausedMs += m_pausedSince.elapsed();
        m_pausedSince.invalidate();
    }
    m_pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    showStatus();
}

void frmProgress::showStatus()
{
    const QString text = m_pausedSince.isValid() ? QStringLiteral("Paused") : m_statusLine;
    m_status->setText(m_status->fontMetrics().elidedText(text, Qt::ElideRight, m_status->width()));
}

void frmProgress::ShowProgress(const JobProgress& progress)
{
    // The grab's time and lines say nothing of how far it is.
    if (m_stills > 0)
        return;
    const int percent = progress.percent;
    if (percent < 0) {
        m_bar->setRange(0, 0);
    } else {
        const qint64 worked = m_elapsed.elapsed() - m_pausedMs -
                              (m_pausedSince.isValid() ? m_pausedSince.elapsed() : 0);
        m_bar->setRange(0, 100);
        m_bar->setValue(percent);
        const QString left = percent < 100 ? RemainingText(percent, worked / 1000.0) : QString();
        m_remaining->setText(QStringLiteral("%1% done").arg(percent) +
                             (left.isEmpty() ? QString() : QStringLiteral(", ") + left));
    }
    // A stream goes at the source's own speed: how much of it was sent tells all.
    if (m_streaming && progress.doneSeconds && progress.durationSeconds)
        m_remaining->setText(
            QStringLiteral("%1 of %2 sent")
                .arg(ClockText(*progress.doneSeconds), ClockText(*progress.durationSeconds)));
    if (!progress.statusLine.isEmpty()) {
        m_statusLine = progress.statusLine;
        showStatus();
    }
}

// The close box and Escape ask to cancel; the window goes when the job ends.
void frmProgress::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit CancelRequested();
}

void frmProgress::reject()
{
    emit CancelRequested();
}
