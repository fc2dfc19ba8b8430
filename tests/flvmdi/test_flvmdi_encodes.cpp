// flvmdi on real encodes made with Debian's ffmpeg: the result passes
// flvmeta's check, ffprobe agrees on the duration, every key frame position
// points at a key frame tag, and every other tag is kept byte for byte.
#include "FlvTestUtil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace flvtest;

class TestFlvmdiEncodes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realEncodes_data();
    void realEncodes();
    void secondRunChangesOnlyTheDate();
    void replacesEarlierMetadata_data();
    void replacesEarlierMetadata();

private:
    QString encode(const QString& name, const QStringList& args);
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

void TestFlvmdiEncodes::initTestCase()
{
    QVERIFY(dir_.isValid());
    for (const char* tool : {"ffmpeg", "ffprobe", "flvmeta", "yamdi"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                 qPrintable(QString("%1 is not installed (scripts/setup.sh)").arg(tool)));
}

// Encodes test patterns as our encoder does (Sorenson video, MP3 audio) unless
// `args` choose other codecs.
QString TestFlvmdiEncodes::encode(const QString& name, const QStringList& args)
{
    const QString out = path(name);
    QStringList all{"-v", "error", "-y"};
    all << args << out;
    Run r = runProgram("ffmpeg", all);
    if (r.exitCode != 0)
        qWarning() << "ffmpeg" << all << r.err;
    return r.exitCode == 0 ? out : QString();
}

static QStringList video(const QString& size, int rate, double seconds)
{
    return {"-f", "lavfi", "-i",
            QString("testsrc=size=%1:rate=%2:duration=%3").arg(size).arg(rate).arg(seconds)};
}

static QStringList audio(int rate, double seconds)
{
    return {"-f", "lavfi", "-i",
            QString("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds)};
}

void TestFlvmdiEncodes::realEncodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("hasVideo");
    QTest::addColumn<bool>("hasAudio");

    const QStringList sorenson{"-c:v", "flv1", "-g", "12"};
    QTest::newRow("176x144 25 fps, mono MP3 22050 Hz")
        << (video("176x144", 25, 3) + audio(22050, 3) + sorenson +
            QStringList{"-b:v", "200k", "-c:a", "libmp3lame", "-ar", "22050", "-ac", "1"})
        << 176 << 144 << true << true;
    QTest::newRow("320x240 15 fps, stereo MP3 44100 Hz")
        << (video("320x240", 15, 3) + audio(44100, 3) + sorenson +
            QStringList{"-b:v", "400k", "-c:a", "libmp3lame", "-ar", "44100", "-ac", "2"})
        << 320 << 240 << true << true;
    QTest::newRow("100x60 (8-bit custom size) 30 fps, no audio")
        << (video("100x60", 30, 2) + sorenson + QStringList{"-b:v", "100k"}) << 100 << 60 << true
        << false;
    QTest::newRow("640x360 (16-bit custom size), MP3 11025 Hz")
        << (video("640x360", 10, 2) + audio(11025, 2) + sorenson +
            QStringList{"-b:v", "300k", "-c:a", "libmp3lame", "-ar", "11025"})
        << 640 << 360 << true << true;
    QTest::newRow("audio only MP3")
        << (audio(22050, 3) + QStringList{"-c:a", "libmp3lame"}) << 0 << 0 << false << true;
    QTest::newRow("H.264 200x150 (cropped SPS), AAC")
        << (video("200x150", 25, 2) + audio(44100, 2) +
            QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-g", "10", "-pix_fmt",
                        "yuv420p", "-c:a", "aac"})
        << 200 << 150 << true << true;
    QTest::newRow("audio only AAC 48000 Hz mono")
        << (audio(48000, 2) + QStringList{"-c:a", "aac", "-ac", "1"}) << 0 << 0 << false << true;
    QTest::newRow("H.264 4:4:4 203x151")
        << (video("203x151", 25, 1) +
            QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv444p"})
        << 203 << 151 << true << false;
    QTest::newRow("H.264 interlaced 320x180")
        << (video("320x180", 25, 1) + QStringList{"-c:v", "libx264", "-preset", "ultrafast",
                                                  "-pix_fmt", "yuv420p", "-flags", "+ildct+ilme"})
        << 320 << 180 << true << false;
}

void TestFlvmdiEncodes::realEncodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, hasVideo);
    QFETCH(bool, hasAudio);
    const bool h264 = args.contains("libx264");

    const QString file = encode("encode.flv", args);
    QVERIFY(!file.isEmpty());
    const Parsed before = parseFlv(readAll(file));
    QVERIFY2(before.ok, qPrintable(before.error));

    Run printed = runFlvmdi({"--print", file});
    QCOMPARE(printed.exitCode, 0);
    Run r = runFlvmdi({file});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), r.err.constData());

    // flvmeta finds no error and no complaint about the metadata (W8xxxx).
    // Exceptions with H.264: ffmpeg writes an end-of-sequence tag behind the
    // last audio; flvmeta ends the file there, we at the last audio frame, so
    // the data rates (over the duration) differ by some percent. flvmeta
    // counts the AVC header and end tags as frames for its frame rate, and it
    // misreads 4:4:4 and interlaced SPS sizes (ffprobe checks ours below).
    // With AAC it takes rate and channels from the tag flags, which always say
    // 44.1 kHz stereo; ours come from the AAC config (ffprobe checks them).
    Run check = runProgram("flvmeta", {"--check", file});
    QCOMPARE(check.exitCode, 0);
    static const QList<QByteArray> h264Quirks{"datarate should be", "framerate should be",
                                              "width should be", "height should be"};
    static const QList<QByteArray> aacQuirks{"audiosamplerate should be", "stereo should be"};
    const bool aac = args.contains("aac");
    for (const QByteArray& line : check.out.split('\n')) {
        bool quirk = false;
        for (const QByteArray& q : h264Quirks)
            quirk = quirk || (h264 && line.contains(q));
        for (const QByteArray& q : aacQuirks)
            quirk = quirk || (aac && line.contains(q));
        QVERIFY2(!line.contains("warning W8") || quirk, check.out.constData());
    }

    const QByteArray bytes = readAll(file);
    const Parsed after = parseFlv(bytes);
    QVERIFY2(after.ok, qPrintable(after.error));
    QVERIFY(!after.tags.isEmpty());
    QCOMPARE(after.tags[0].type, 18);
    QString amfError;
    const QVariantMap md = decodeMetadata(metadataBody(after), &amfError);
    QVERIFY2(amfError.isEmpty(), qPrintable(amfError));
    QCOMPARE(md.value("hasVideo").toBool(), hasVideo);
    QCOMPARE(md.value("hasAudio").toBool(), hasAudio);
    QCOMPARE(md.value("filesize").toLongLong(), bytes.size());
    QCOMPARE(md.value("metadatacreator").toString().left(14), QString("Kestrel flvmdi"));
    if (hasVideo) {
        QCOMPARE(md.value("width").toInt(), width);
        QCOMPARE(md.value("height").toInt(), height);
        Run size = runProgram("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                          "stream=width,height", "-of", "csv=p=0", file});
        QCOMPARE(size.out.trimmed(), QByteArray::number(width) + "," + QByteArray::number(height));
    }
    if (hasAudio) {
        // AAC's tag flags always say 44.1 kHz stereo; the truth is in its config.
        Run format = runProgram("ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries",
                                            "stream=sample_rate,channels", "-of", "csv=p=0", file});
        QCOMPARE(QByteArray::number(md.value("audiosamplerate").toInt()) + "," +
                     (md.value("stereo").toBool() ? "2" : "1"),
                 format.out.trimmed());
    }
    QCOMPARE(after.header.at(4) & 5, (hasAudio ? 4 : 0) | (hasVideo ? 1 : 0));

    // Every tag but the old onMetaData is kept, in order, byte for byte.
    QList<QByteArray> kept, now;
    for (const Tag& t : before.tags)
        if (!(t.type == 18 && t.bytes.mid(14, 10) == "onMetaData"))
            kept << t.bytes;
    for (int i = 1; i < after.tags.size(); ++i)
        now << after.tags[i].bytes;
    QCOMPARE(now, kept);

    // The key frame index lists exactly the key frame tags of the new file.
    QList<qint64> keyPositions;
    QList<double> keyTimes;
    qint64 videoSize = 0;
    for (const Tag& t : after.tags) {
        if (t.type != 9)
            continue;
        videoSize += 11 + t.size;
        const bool sameTime = !keyTimes.isEmpty() && keyTimes.last() == t.timeMs / 1000.0;
        if ((quint8(t.bytes[11]) >> 4) == 1 && !sameTime) {
            keyPositions << t.pos;
            keyTimes << t.timeMs / 1000.0;
        }
    }
    const QVariantMap index = md.value("keyframes").toMap();
    QList<qint64> positions;
    QList<double> times;
    for (const QVariant& v : index.value("filepositions").toList())
        positions << v.toLongLong();
    for (const QVariant& v : index.value("times").toList())
        times << v.toDouble();
    QCOMPARE(positions, keyPositions);
    QCOMPARE(times, keyTimes);
    QCOMPARE(md.value("hasKeyframes").toBool(), !keyPositions.isEmpty());
    if (hasVideo) {
        QVERIFY(!positions.isEmpty());
        QCOMPARE(md.value("lastkeyframelocation").toLongLong(), positions.last());
        QCOMPARE(md.value("videosize").toLongLong(), videoSize);
    }

    // ffprobe reads the file and takes our duration; its packets agree with
    // our last timestamp, and our duration adds at most one frame to it.
    const double duration = md.value("duration").toDouble();
    Run format = runProgram(
        "ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file});
    QCOMPARE(format.exitCode, 0);
    QVERIFY2(qAbs(format.out.trimmed().toDouble() - duration) < 0.0005, format.out.constData());
    Run probe = runProgram(
        "ffprobe", {"-v", "error", "-show_entries", "packet=pts_time", "-of", "csv=p=0", file});
    QCOMPARE(probe.exitCode, 0);
    double lastPts = 0;
    for (const QByteArray& line : probe.out.split('\n'))
        lastPts = qMax(lastPts, line.trimmed().toDouble());
    QVERIFY2(
        qAbs(md.value("lasttimestamp").toDouble() - lastPts) < 0.0005,
        qPrintable(
            QString("ours %1, ffprobe %2").arg(md.value("lasttimestamp").toDouble()).arg(lastPts)));
    const double frame = hasVideo ? 1.0 / md.value("framerate").toDouble() : 0.03;
    QVERIFY2(duration >= lastPts && duration <= lastPts + frame + 0.001,
             qPrintable(QString("duration %1, last packet at %2").arg(duration).arg(lastPts)));

    // --print showed what was then written (apart from the date).
    QJsonObject json = QJsonDocument::fromJson(printed.out).object();
    QVERIFY(!json.isEmpty());
    QCOMPARE(json.value("filesize").toDouble(), double(bytes.size()));
    QCOMPARE(json.value("duration").toDouble(), duration);
    QCOMPARE(json.value("keyframes").toObject().value("filepositions").toVariant().toList().size(),
             positions.size());
}

// Offset of the 8 date bytes of metadatadate in a file.
static qint64 dateOffset(const QByteArray& bytes)
{
    qint64 at = bytes.indexOf(QByteArray("\x00\x0cmetadatadate\x0b", 15));
    return at < 0 ? -1 : at + 15;
}

void TestFlvmdiEncodes::secondRunChangesOnlyTheDate()
{
    const QString file =
        encode("twice.flv", video("176x144", 25, 2) + audio(22050, 2) +
                                QStringList{"-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "22050"});
    QVERIFY(!file.isEmpty());
    QCOMPARE(runFlvmdi({file}).exitCode, 0);
    QByteArray first = readAll(file);
    QCOMPARE(runFlvmdi({file}).exitCode, 0);
    QByteArray second = readAll(file);
    QCOMPARE(second.size(), first.size());
    const qint64 at = dateOffset(first);
    QVERIFY(at > 0);
    QCOMPARE(dateOffset(second), at);
    first.replace(at, 8, QByteArray(8, 0));
    second.replace(at, 8, QByteArray(8, 0));
    QVERIFY(first == second);
}

void TestFlvmdiEncodes::replacesEarlierMetadata_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("ffmpeg's own onMetaData") << "ffmpeg";
    QTest::newRow("yamdi") << "yamdi";
    QTest::newRow("flvmeta (adds onLastSecond)") << "flvmeta";
    QTest::newRow("earlier run, values since spoilt") << "spoilt";
}

void TestFlvmdiEncodes::replacesEarlierMetadata()
{
    QFETCH(QString, writer);
    const QString plain =
        encode("plain.flv", video("176x144", 25, 3) + audio(22050, 3) +
                                QStringList{"-c:v", "flv1", "-g", "25", "-c:a", "libmp3lame"});
    QVERIFY(!plain.isEmpty());
    const QString file = path("old.flv");
    QFile::remove(file);
    if (writer == "yamdi") {
        QCOMPARE(runProgram("yamdi", {"-i", plain, "-o", file}).exitCode, 0);
    } else if (writer == "flvmeta") {
        QCOMPARE(runProgram("flvmeta", {plain, file}).exitCode, 0);
    } else {
        QVERIFY(QFile::copy(plain, file));
    }
    if (writer == "spoilt") {
        QCOMPARE(runFlvmdi({file}).exitCode, 0);
        QByteArray b = readAll(file);
        qint64 at = b.indexOf(QByteArray("\x00\x08"
                                         "duration\x00",
                                         11));
        QVERIFY(at > 0);
        b.replace(at + 11, 8, QByteArray("\x40\x8f\x40\x00\x00\x00\x00\x00", 8)); // 1000 s
        QVERIFY(writeAll(file, b));
    }

    QCOMPARE(runFlvmdi({plain}).exitCode, 0);
    const QVariantMap expected = decodeMetadata(metadataBody(parseFlv(readAll(plain))));
    QCOMPARE(runFlvmdi({file}).exitCode, 0);
    const Parsed p = parseFlv(readAll(file));
    QVERIFY(p.ok);
    int metadataTags = 0;
    for (const Tag& t : p.tags)
        metadataTags += t.type == 18 && t.bytes.mid(14, 10) == "onMetaData";
    QCOMPARE(metadataTags, 1);
    const QVariantMap md = decodeMetadata(metadataBody(p));
    for (const char* key : {"duration", "width", "height", "framerate", "videosize", "audiosize",
                            "audiosamplerate", "videodatarate", "metadatacreator"})
        QCOMPARE(md.value(key), expected.value(key));
    QCOMPARE(md.value("keyframes").toMap().value("times"),
             expected.value("keyframes").toMap().value("times"));
    QVERIFY(runProgram("flvmeta", {"--check", file}).exitCode == 0);
}

QTEST_GUILESS_MAIN(TestFlvmdiEncodes)
#include "test_flvmdi_encodes.moc"
