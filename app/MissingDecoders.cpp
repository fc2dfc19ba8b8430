#include "app/MissingDecoders.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QtEndian>

#include <atomic>
#include <link.h>

namespace
{

QtMessageHandler previousHandler = nullptr;
QLoggingCategory::CategoryFilter previousFilter = nullptr;

// The messages the watcher needs, and whether the logging rules show them:
// those the rules leave out are turned on for the watcher and go no further.
struct Needed {
    const char* category;
    QtMsgType type;
    std::atomic<bool> shown = true;
};
Needed needed[] = {
    // GStreamer: Warning: "No decoder available for type 'MEDIATYPE'."
    {"qt.multimedia.player", QtWarningMsg},
    // FFmpeg: "No SW decoder found", after its hardware decoders were tried.
    {"qt.multimedia.playbackengine.codec", QtWarningMsg},
    // FFmpeg, before it: Create codec for stream: 1 trackType: VideoStream
    {"qt.multimedia.ffmpeg.playbackengine", QtDebugMsg},
};
Needed& gstreamerReport = needed[0];
Needed& ffmpegReport = needed[1];
Needed& ffmpegOpening = needed[2];

void TurnOn(QLoggingCategory* category)
{
    if (previousFilter)
        previousFilter(category);
    for (Needed& n : needed) {
        if (qstrcmp(category->categoryName(), n.category) == 0) {
            n.shown = category->isEnabled(n.type);
            category->setEnabled(n.type, true);
        }
    }
}

void Report(const QString& backend, const QString& stream, const QString& mediaType)
{
    // The report may come from any thread; the player hears of it in its own.
    QMetaObject::invokeMethod(
        MissingDecoders::Instance(),
        [=] { emit MissingDecoders::Instance()->Missing(backend, stream, mediaType); },
        Qt::QueuedConnection);
}

void Watch(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    static const QString gstreamerText =
        QStringLiteral("Warning: \"No decoder available for type '");
    // FFmpeg opens a file's streams one after the other in one thread.
    thread_local QString opening;
    const Needed* heard = nullptr;
    for (const Needed& n : needed) {
        if (type == n.type && context.category && qstrcmp(context.category, n.category) == 0)
            heard = &n;
    }
    if (heard == &gstreamerReport && text.startsWith(gstreamerText)) {
        const QString mediaType = text.mid(gstreamerText.size()).section(u'\'', 0, 0);
        Report(QStringLiteral("GStreamer"), mediaType.section(u'/', 0, 0), mediaType);
    } else if (heard == &ffmpegReport && text.contains(QLatin1String("No SW decoder found"))) {
        Report(QStringLiteral("FFmpeg"), opening, QString());
    } else if (heard == &ffmpegOpening && text.startsWith(QLatin1String("Create codec for"))) {
        opening = text.contains(QLatin1String("VideoStream"))   ? QStringLiteral("video")
                  : text.contains(QLatin1String("AudioStream")) ? QStringLiteral("audio")
                                                                : QString();
    }
    if (previousHandler && (!heard || heard->shown))
        previousHandler(type, context, text);
}

// FLV's codec ids: the low 4 bits of a video tag's first byte, the high 4 bits
// of an audio tag's.
QString FlvFormat(bool video, int id)
{
    static const char* const videoNames[16] = {nullptr,          nullptr,   "Sorenson Spark",
                                               "Screen Video",   "On2 VP6", "On2 VP6 with alpha",
                                               "Screen Video 2", "H.264"};
    static const char* const audioNames[16] = {
        "PCM",        "ADPCM",      "MP3",         "PCM",          "Nellymoser",
        "Nellymoser", "Nellymoser", "G.711 A-law", "G.711 mu-law", nullptr,
        "AAC",        "Speex",      nullptr,       nullptr,        "MP3"};
    return id >= 0 && id < 16 ? QString::fromLatin1((video ? videoNames : audioNames)[id])
                              : QString();
}

// GStreamer's flvdemux names the formats of FLV's codec ids so.
int GstreamerFlvId(const QString& mediaType)
{
    static const QHash<QString, int> ids = {
        {"video/x-flash-video", 2}, {"video/x-flash-screen", 3}, {"video/x-vp6-flash", 4},
        {"video/x-vp6-alpha", 5},   {"video/x-h264", 7},         {"audio/x-raw", 0},
        {"audio/x-adpcm", 1},       {"audio/mpeg", 2},           {"audio/x-nellymoser", 4},
        {"audio/x-alaw", 7},        {"audio/x-mulaw", 8},        {"audio/x-speex", 11}};
    const int id = ids.value(mediaType.section(u',', 0, 0).trimmed(), -1);
    return id == 2 && mediaType.contains(QLatin1String("mpegversion=(int)4")) ? 10 : id;
}

// The codec id in the first video or audio tag of the FLV file, or -1.
int FirstFlvId(const QString& path, bool video)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = file.read(9);
    if (header.size() < 9 || !header.startsWith("FLV"))
        return -1;
    // Each tag: its type, the size of its data in 3 bytes, 7 more bytes, the
    // data, and a 4-byte back-pointer; the first back-pointer is 0.
    qint64 at = qFromBigEndian<quint32>(header.constData() + 5) + 4;
    for (int tags = 0; tags < 1000 && file.seek(at); ++tags) {
        const QByteArray tag = file.read(12);
        if (tag.size() < 12)
            return -1;
        const quint32 size = qFromBigEndian<quint32>(tag.constData()) & 0xffffff;
        if ((tag[0] & 0x1f) == (video ? 9 : 8) && size > 0)
            return video ? tag[11] & 0x0f : quint8(tag[11]) >> 4;
        at += 11 + size + 4;
    }
    return -1;
}

// The major version in the name of the libavcodec this process has loaded.
QString AvcodecVersion()
{
    QString version;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            const QString name = QString::fromLocal8Bit(info->dlpi_name);
            const int at = name.lastIndexOf(QLatin1String("libavcodec.so."));
            if (at >= 0)
                *static_cast<QString*>(found) = name.mid(at + 14).section(u'.', 0, 0);
            return at >= 0 ? 1 : 0;
        },
        &version);
    return version;
}

} // namespace

MissingDecoders* MissingDecoders::Instance()
{
    static MissingDecoders* const watcher = [] {
        // It lives as long as the process: the log may speak until the end.
        auto* made = new MissingDecoders;
        made->moveToThread(QCoreApplication::instance()->thread());
        previousHandler = qInstallMessageHandler(Watch);
        previousFilter = QLoggingCategory::installFilter(TurnOn);
        return made;
    }();
    return watcher;
}

QVariantMap MissingDecoders::Describe(const QString& backend, const QString& stream,
                                      const QString& mediaType, const QString& flvFile)
{
    const bool video = stream == QLatin1String("video");
    const int id = !mediaType.isEmpty() ? GstreamerFlvId(mediaType)
                   : !stream.isEmpty()  ? FirstFlvId(flvFile, video)
                                        : -1;
    QString format = FlvFormat(video, id);
    if (format.isEmpty())
        format = mediaType.section(u',', 0, 0);
    QVariantMap described{{"backend", backend}, {"stream", stream}, {"format", format}};
    if (backend == QLatin1String("FFmpeg"))
        described.insert("avcodec", AvcodecVersion());
    return described;
}
