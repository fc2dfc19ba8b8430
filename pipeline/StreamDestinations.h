#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// A streaming server's address, rtmp[s]://HOST[:PORT]/APP/KEY, as it may be
// shown: the key (the last part of the path, with any query) as "****".
QString MaskedStreamUrl(const QString& url);
// Whether URL is an rtmp:// or rtmps:// address with a host, an application
// and a key, and no blank.
bool IsStreamUrl(const QString& url);
// Whether URL lacks only its key to be one: a server and application path.
bool LacksOnlyStreamKey(const QString& url);
// SERVER (the address and application path) with KEY as the stream's name;
// an empty key leaves the address as it is.
QString StreamUrlWithKey(const QString& server, const QString& key);

// One server's state while a stream runs.
struct DestinationState {
    int number = 0;  // counted from 1, in the order the servers were given
    QString url;     // the key shown as "****"
    QString state;   // "connecting", "sending", "reconnecting", "failed" or "ended"
    QString message; // why, for "reconnecting" and "failed"
};
Q_DECLARE_METATYPE(DestinationState)

// Each destination's latest state, by number: STATE takes its place.
void RecordDestinationState(QList<DestinationState>& latest, const DestinationState& state);

// Reads the encoder front-end's state lines from its output, in chunks as
// they come: "destination N URL: STATE[: WHY]".
class DestinationLines
{
public:
    // The states the chunk completes, in order.
    QList<DestinationState> Feed(const QByteArray& chunk);
    // "DESTINATION N (URL): WHY" of each failed destination.
    QStringList Failures() const;

private:
    QByteArray m_partLine;
    QList<DestinationState> m_latest;
};
