#include "pipeline/Progress.h"

#include <QRegularExpression>
#include <QStringList>

std::optional<double> ParseClock(const QString& text)
{
    static const QRegularExpression clock(QStringLiteral("^(\\d+):(\\d{2}):(\\d{2}(?:\\.\\d+)?)$"));
    const QRegularExpressionMatch m = clock.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
           m.captured(3).toDouble();
}

bool ProgressParser::Feed(const QByteArray& chunk)
{
    const std::optional<int> percentBefore = Percent();
    const QString lineBefore = m_lastLine;
    m_pending += chunk;
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending[i] == '\r' || m_pending[i] == '\n') {
            takeLine(QString::fromLocal8Bit(m_pending.mid(start, i - start)).trimmed());
            start = i + 1;
        }
    }
    m_pending.remove(0, start);
    return Percent() != percentBefore || m_lastLine != lineBefore;
}

void ProgressParser::takeLine(const QString& line)
{
    if (line.isEmpty())
        return;
    m_lastLine = line;
    // Only FFmpeg's own lines count: the source's name is echoed in others.
    static const QRegularExpression duration(
        QStringLiteral("^Duration: (\\d+:\\d{2}:\\d{2}(?:\\.\\d+)?)"));
    static const QRegularExpression time(
        QStringLiteral("^(?:frame|size)=.* time=\\s*(\\d+:\\d{2}:\\d{2}(?:\\.\\d+)?)"));
    if (!m_duration) {
        const QRegularExpressionMatch m = duration.match(line);
        if (m.hasMatch())
            m_duration = ParseClock(m.captured(1));
    }
    const QRegularExpressionMatch m = time.match(line);
    if (m.hasMatch())
        m_done = ParseClock(m.captured(1));
}

std::optional<int> ProgressParser::Percent() const
{
    if (!m_duration || !m_done || *m_duration <= 0)
        return std::nullopt;
    return qBound(0, int(*m_done * 100 / *m_duration), 100);
}

std::optional<int> RemainingSeconds(int percent, double elapsedSeconds)
{
    if (percent <= 0 || elapsedSeconds <= 0)
        return std::nullopt;
    return int(elapsedSeconds * (100 - percent) / percent + 0.5);
}

QString RemainingText(int percent, double elapsedSeconds)
{
    const std::optional<int> seconds = RemainingSeconds(percent, elapsedSeconds);
    if (!seconds)
        return QString();
    const int left = *seconds;
    return QStringLiteral("%1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
}

QString ClockText(double seconds)
{
    const qint64 whole = qint64(qMax(0.0, seconds));
    const auto twoDigits = [](qint64 n) {
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    if (whole >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(whole / 3600)
            .arg(twoDigits(whole / 60 % 60), twoDigits(whole % 60));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(twoDigits(whole % 60));
}
