#include "pipeline/StreamDestinations.h"

#include <QRegularExpression>

namespace
{

qsizetype schemeLength(const QString& url)
{
    return url.startsWith(QLatin1String("rtmp://"))    ? 7
           : url.startsWith(QLatin1String("rtmps://")) ? 8
                                                       : 0;
}

// Where the key starts: after the last "/" before any "?".
qsizetype keyStart(const QString& url)
{
    const qsizetype query = url.indexOf(u'?', schemeLength(url));
    const qsizetype slash = url.lastIndexOf(u'/', query < 0 ? -1 : query);
    return slash < 0 ? url.size() : slash + 1;
}

} // namespace

QString MaskedStreamUrl(const QString& url)
{
    const qsizetype key = keyStart(url);
    return key < url.size() ? url.left(key) + QLatin1String("****") : url;
}

bool IsStreamUrl(const QString& url)
{
    for (QChar c : url) {
        if (c.unicode() <= u' ' || c.unicode() == 0x7F) // cut or misread on the way
            return false;
    }
    const qsizetype scheme = schemeLength(url), hostEnd = url.indexOf(u'/', scheme);
    const qsizetype key = keyStart(url);
    return scheme > 0 && hostEnd > scheme && key > hostEnd + 1 && key < url.size() &&
           url[key] != u'?';
}

bool LacksOnlyStreamKey(const QString& url)
{
    return !IsStreamUrl(url) && IsStreamUrl(url + QStringLiteral("/KEY"));
}

void RecordDestinationState(QList<DestinationState>& latest, const DestinationState& state)
{
    while (latest.size() < state.number)
        latest.append(DestinationState{int(latest.size()) + 1, {}, {}, {}});
    latest[state.number - 1] = state;
}

QString StreamUrlWithKey(const QString& server, const QString& key)
{
    if (key.isEmpty())
        return server;
    return server.endsWith(u'/') ? server + key : server + u'/' + key;
}

QList<DestinationState> DestinationLines::Feed(const QByteArray& chunk)
{
    static const QRegularExpression line(
        QStringLiteral("^destination (\\d+) (\\S+): (connecting|sending|reconnecting|failed|"
                       "ended)(?:: (.*))?$"));
    QList<DestinationState> states;
    m_partLine += chunk;
    // FFmpeg's status lines end in a carriage return.
    auto lineEnd = [this] {
        const qsizetype cr = m_partLine.indexOf('\r'), lf = m_partLine.indexOf('\n');
        return cr < 0 ? lf : lf < 0 ? cr : qMin(cr, lf);
    };
    qsizetype end;
    while ((end = lineEnd()) >= 0) {
        const QString text = QString::fromUtf8(m_partLine.left(end)).trimmed();
        m_partLine.remove(0, end + 1);
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        DestinationState state{match.captured(1).toInt(), match.captured(2), match.captured(3),
                               match.captured(4)};
        RecordDestinationState(m_latest, state);
        states << state;
    }
    if (m_partLine.size() > 65536) // no state line is that long
        m_partLine.clear();
    return states;
}

QStringList DestinationLines::Failures() const
{
    QStringList failures;
    for (const DestinationState& state : m_latest) {
        if (state.state == QLatin1String("failed"))
            failures << QStringLiteral("DESTINATION %1 (%2): %3")
                            .arg(state.number)
                            .arg(state.url, state.message);
    }
    return failures;
}
