#pragma once

#include <QObject>

// QtMultimedia's GStreamer back end tells of a stream that no installed
// decoder takes only in its log, and then plays on without that stream: a
// black picture, or silence. This watches the log for those reports.
class MissingDecoders : public QObject
{
    Q_OBJECT
public:
    // The one watcher; it starts watching when first asked for.
    static MissingDecoders* Instance();

signals:
    // MEDIATYPE as GStreamer names it ("video/x-h264, stream-format=...").
    void Missing(const QString& mediaType);

private:
    MissingDecoders() = default;
};
