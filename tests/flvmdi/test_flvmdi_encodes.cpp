// flvmdi on real encodes made with Debian's ffmpeg, checked by the peers:
// flvmeta finds nothing wrong, ffprobe agrees on picture size, sound and
// duration; every other tag is kept byte for byte, the key frame index lists
// exactly the key frame tags, and other writers' metadata is replaced.
#include "FlvTest.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace flvtest;

class TestFlvmdiEncodes : public QObject
{
    Q_OBJECT

private slots:
    void realEncodes();
    void replacesEarlierMetadata();

private:
    QTemporaryDir dir_;
};

// Encodes lavfi test sources ("testsrc=...", "sine=...") with `codecs`.
static QString encode(const QString& out, const QStringList& sources, const QString& codecs)
{
    QStringList args{"-v", "error", "-y"};
    for (const QString& s : sources)
        args << "-f"
             << "lavfi"
             << "-i" << s;
    const Run r = run("ffmpeg", args + codecs.split(' ') + QStringList{out});
    return r.exitCode == 0 ? out : (qWarning() << r.err, QString());
}

static QString probe(const QString& file, const QString& stream, const QString& entries)
{
    return run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries", entries,
                           "-of", "csv=p=0", file})
        .out.trimmed();
}

static qint64 afterMetadata(const QByteArray& f)
{
    return 13 + 15 + be24(f, 14);
}

void TestFlvmdiEncodes::realEncodes()
{
    const QString mp3 = "-c:v flv1 -g 12 -c:a libmp3lame", x264 = "-c:v libx264 -preset ultrafast";
    const QList<std::tuple<QString, QString, QString>> rows{
        {"176x144:rate=25:duration=3", "22050:duration=3", mp3},
        {"320x240:rate=15:duration=3", "44100:duration=3", mp3 + " -ac 2"},
        {"100x60:rate=30:duration=2", "", mp3}, // an 8-bit picture size
        {"640x360:rate=10:duration=2", "11025:duration=2", mp3},
        {"", "22050:duration=3", mp3},
        {"200x150:rate=25:duration=2", "44100:duration=2", x264 + " -g 10 -c:a aac"}, // cropped
        {"", "48000:duration=2", "-c:a aac"},
        {"203x151:rate=25:duration=1", "", x264 + " -pix_fmt yuv444p"},
        {"320x180:rate=25:duration=1", "", x264 + " -pix_fmt yuv420p -flags +ildct+ilme"}};
    for (const auto& [video, audio, codecs] : rows) {
        QStringList sources;
        if (!video.isEmpty())
            sources << "testsrc=size=" + video;
        if (!audio.isEmpty())
            sources << "sine=sample_rate=" + audio;
        const QString file = encode(dir_.filePath("encode.flv"), sources, codecs);
        QVERIFY(!file.isEmpty());
        const QByteArray before = readAll(file);
        const Run printed = flvmdi({"--print", file});
        QCOMPARE(readAll(file), before);
        const Run r = flvmdi({file});
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err);

        // flvmeta's known differences: with H.264 it ends the file at the
        // end-of-sequence tag behind the last audio (so its data rates
        // differ), counts the AVC header and end tags as frames, and misreads
        // 4:4:4 and interlaced sizes; with AAC it believes the tag flags'
        // 44.1 kHz stereo (ffprobe checks ours below).
        const QString quirks =
            QString(codecs.contains("x264") ? "datarate framerate width height " : "") +
            (codecs.contains("aac") ? "audiosamplerate stereo" : "");
        QCOMPARE(complaints(file, quirks.split(' ', Qt::SkipEmptyParts)), QStringList());
        const QByteArray after = readAll(file);
        const QJsonObject md = metadata(file);
        QCOMPARE(md.value("filesize").toDouble(), double(after.size()));
        QCOMPARE(after[4] & 5, (audio.isEmpty() ? 0 : 4) | (video.isEmpty() ? 0 : 1));
        QCOMPARE(md.value("hasVideo").toBool() + 2 * md.value("hasAudio").toBool(),
                 !video.isEmpty() + 2 * !audio.isEmpty());
        if (!video.isEmpty())
            QCOMPARE(QString("%1,%2").arg(md["width"].toInt()).arg(md["height"].toInt()),
                     probe(file, "v", "stream=width,height"));
        if (!audio.isEmpty())
            QCOMPARE(
                QString("%1,%2").arg(md["audiosamplerate"].toInt()).arg(md["stereo"].toBool() + 1),
                probe(file, "a", "stream=sample_rate,channels"));
        // ffmpeg writes its onMetaData first: everything after it is kept.
        QCOMPARE(after.mid(afterMetadata(after)), before.mid(afterMetadata(before)));

        // The index: every video key frame tag, one per time, at its place.
        QJsonArray positions, times;
        for (qint64 at = afterMetadata(after); at < after.size(); at += 15 + be24(after, at + 1)) {
            const double s = (be24(after, at + 4) | quint8(after[at + 7]) << 24) / 1000.0;
            if (after[at] == 9 && (quint8(after[at + 11]) >> 4) == 1 &&
                (times.isEmpty() || times.last().toDouble() != s)) {
                positions << double(at);
                times << s;
            }
        }
        QCOMPARE(md["keyframes"]["filepositions"].toArray(), positions);
        QCOMPARE(md["keyframes"]["times"].toArray(), times);

        // ffprobe takes our duration; its last packet is our last time stamp,
        // and the duration adds at most one frame to it.
        const double duration = md["duration"].toDouble();
        QVERIFY(qAbs(probe(file, "", "format=duration").toDouble() - duration) < 0.0005);
        double last = 0;
        for (const QString& pts : probe(file, "", "packet=pts_time").split('\n'))
            last = qMax(last, pts.toDouble());
        QVERIFY(qAbs(md["lasttimestamp"].toDouble() - last) < 0.0005);
        const double frame = video.isEmpty() ? 0.03 : 1 / md["framerate"].toDouble();
        QVERIFY(duration >= last && duration <= last + frame + 0.001);

        // --print showed what was then written, apart from the date.
        const QJsonObject json = QJsonDocument::fromJson(printed.out).object();
        QCOMPARE(json.keys(), md.keys());
        for (const char* k :
             {"filesize", "duration", "videosize", "audiosize", "lastkeyframelocation"})
            QVERIFY2(qAbs(json[k].toDouble() - md[k].toDouble()) < 1e-6, k);
        QCOMPARE(json["keyframes"]["filepositions"].toArray(), positions);
    }
}

void TestFlvmdiEncodes::replacesEarlierMetadata()
{
    // yamdi's onMetaData, and flvmeta's with its onLastSecond.
    const QString plain = encode(dir_.filePath("plain.flv"),
                                 {"testsrc=size=176x144:rate=25:duration=3", "sine=duration=3"},
                                 "-c:v flv1 -c:a libmp3lame");
    const QString yamdi = dir_.filePath("yamdi.flv"), flvmeta = dir_.filePath("flvmeta.flv");
    QVERIFY(!plain.isEmpty() && run("yamdi", {"-i", plain, "-o", yamdi}).exitCode == 0);
    QCOMPARE(run("flvmeta", {plain, flvmeta}).exitCode, 0);
    for (const QString& file : {yamdi, flvmeta}) {
        QCOMPARE(flvmdi({file}).exitCode, 0);
        QCOMPARE(readAll(file).count("onMetaData"), 1);
        QVERIFY(readAll(file).contains("Kestrel flvmdi"));
        QCOMPARE(complaints(file), QStringList());
    }
}

QTEST_GUILESS_MAIN(TestFlvmdiEncodes)
#include "test_flvmdi_encodes.moc"
