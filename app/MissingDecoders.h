#pragma once

#include <QObject>
#include <QVariantMap>

// QtMultimedia tells of a stream that no installed decoder takes only in its
// log, and then plays on without that stream: a black picture, or silence.
// This watches the log for those reports, from either of its back ends:
// GStreamer (Qt 6.4) names the stream's format; FFmpeg (Qt 6.5 on) names
// neither the stream nor its format, but notes in its debug log which stream
// it opens next.
class MissingDecoders : public QObject
{
    Q_OBJECT
public:
    // The one watcher; it starts watching when first asked for.
    static MissingDecoders* Instance();

    // A report as the player shows it, the file being FLVFILE: "stream"
    // ("video", "audio", or empty when unknown), "format" (its name, from
    // GStreamer's media type or else from the file's first tag of that stream;
    // empty when unknown), "backend" and, for FFmpeg, "avcodec" (the major
    // version of the libavcodec in use, which names its Debian package).
    static QVariantMap Describe(const QString& backend, const QString& stream,
                                const QString& mediaType, const QString& flvFile);

signals:
    // BACKEND is "GStreamer" or "FFmpeg"; STREAM "video", "audio" or empty;
    // MEDIATYPE as GStreamer names it ("video/x-h264, stream-format=..."),
    // empty from FFmpeg.
    void Missing(const QString& backend, const QString& stream, const QString& mediaType);

private:
    MissingDecoders() = default;
};
