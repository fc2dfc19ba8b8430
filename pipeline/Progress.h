#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Follows the encoder's printed output: the source's "Duration:" once, then a
// status line with "time=" per update. Output arrives in chunks; lines end at
// CR (status lines) or LF.
class ProgressParser
{
public:
    // Feeds a chunk; returns true when the percent or the status line changed.
    bool Feed(const QByteArray& chunk);

    std::optional<double> DurationSeconds() const { return m_duration; }
    std::optional<double> DoneSeconds() const { return m_done; }
    // 0..100 once both are known.
    std::optional<int> Percent() const;
    QString LastStatusLine() const { return m_lastLine; }

private:
    void takeLine(const QString& line);

    QByteArray m_pending;
    std::optional<double> m_duration;
    std::optional<double> m_done;
    QString m_lastLine;
};

// Where a running step is: percent < 0 while it is not known.
struct JobProgress {
    int percent = -1;
    QString statusLine;
    std::optional<int> secondsLeft;
    // The source's time done and its length, once known.
    std::optional<double> doneSeconds;
    std::optional<double> durationSeconds;
};

// "00:01:02.50" -> 62.5; nothing for other texts.
std::optional<double> ParseClock(const QString& text);

// The seconds a job at percent after elapsed seconds still needs, once it
// has started to move.
std::optional<int> RemainingSeconds(int percent, double elapsedSeconds);

// 62.5 -> "1:02"; an hour or more as "1:00:00".
QString ClockText(double seconds);

// "1:02 left" style remaining time for a job at percent after elapsed seconds.
QString RemainingText(int percent, double elapsedSeconds);
