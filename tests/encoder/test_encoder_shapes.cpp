// The three command shapes the window writes (encode, stills, probe), run
// through the front-end on real FFmpeg and checked with ffprobe.
#include "EncoderTestSupport.h"

#include <QTemporaryDir>

using namespace enc;

class TestEncoderShapes : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString src(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        makeSource(src("av.avi"), "testsrc=size=320x240:rate=25:duration=2",
                   "sine=f=440:r=48000:d=2", {"-c:v", "mpeg4", "-c:a", "mp3", "-shortest"});
        makeSource(src("video.mp4"), "testsrc=size=176x144:rate=30:duration=1", "",
                   {"-pix_fmt", "yuv420p"});
        makeSource(src("audio.wav"), "", "sine=f=300:r=44100:d=2", {"-ac", "2"});
        makeSource(src("three.avi"), "testsrc=size=160x120:rate=3:duration=1", "",
                   {"-c:v", "mpeg4"});
        // An FLV whose first stream is the audio one.
        makeSource(src("audiofirst.flv"), "testsrc=size=240x180:rate=12:duration=1",
                   "sine=r=22050:d=1",
                   {"-map", "1:a", "-map", "0:v", "-c:a", "libmp3lame", "-c:v", "flv1"});
        QCOMPARE(stream(probe(src("audiofirst.flv")), "audio")["index"].toInt(), 0);
    }

    void encode_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("sampleRate"); // 0: no audio expected
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mp3Kbps");
        const QStringList v225 = {"-b", "225kb/s"};
        QTest::newRow("window defaults")
            << "av.avi" << v225 + QStringList{"-s",      "400x300", "-r",  "24",  "-ar",
                                              "22050Hz", "-ab",     "64k", "-ac", "1"}
            << QSize(400, 300) << 24 << 22050 << 1 << 64;
        QTest::newRow("240x135 stereo, 24k at 44100 becomes 32k")
            << "av.avi" << QStringList{"-b",  "96kb/s",  "-s",  "240x135", "-r",  "25",
                                       "-ar", "44100Hz", "-ab", "24k",     "-ac", "2"}
            << QSize(240, 135) << 25 << 44100 << 2 << 32;
        QTest::newRow("400x225, 160k at 11025 becomes 64k")
            << "av.avi" << v225 + QStringList{"-s",      "400x225", "-r",   "15",  "-ar",
                                              "11025Hz", "-ab",     "160k", "-ac", "1"}
            << QSize(400, 225) << 15 << 11025 << 1 << 64;
        QTest::newRow("80k at 11025 becomes 64k")
            << "av.avi" << v225 + QStringList{"-s",      "160x120", "-r",  "8",   "-ar",
                                              "11025Hz", "-ab",     "80k", "-ac", "2"}
            << QSize(160, 120) << 8 << 11025 << 2 << 64;
        QTest::newRow("144k kept at 22050")
            << "av.avi" << v225 + QStringList{"-s",      "768x576", "-r",   "30",  "-ar",
                                              "22050Hz", "-ab",     "144k", "-ac", "1"}
            << QSize(768, 576) << 30 << 22050 << 1 << 144;
        // Every frame size the window offers.
        for (const char* size :
             {"160x120", "240x180", "240x135", "320x180", "320x240", "400x225", "400x300",
              "512x288", "512x384", "640x360", "640x480", "768x432", "768x576"})
            QTest::newRow(qPrintable(QString("size %1").arg(size)))
                << "av.avi" << v225 + QStringList{"-s", size, "-r", "25", "-an"}
                << QSize(QString(size).section('x', 0, 0).toInt(),
                         QString(size).section('x', 1).toInt())
                << 25 << 0 << 0 << 0;
        QTest::newRow("audio off")
            << "av.avi" << v225 + QStringList{"-s", "512x288", "-r", "12", "-an"} << QSize(512, 288)
            << 12 << 0 << 0 << 0;
        QTest::newRow("video-only source with audio options")
            << "video.mp4" << v225 + QStringList{"-s",      "320x180", "-r",  "24",  "-ar",
                                                 "22050Hz", "-ab",     "64k", "-ac", "1"}
            << QSize(320, 180) << 24 << 0 << 0 << 0;
        QTest::newRow("audio-only source")
            << "audio.wav" << v225 + QStringList{"-s",      "400x300", "-r",   "24",  "-ar",
                                                 "44100Hz", "-ab",     "128k", "-ac", "2"}
            << QSize() << 0 << 44100 << 2 << 128;
        QTest::newRow("FLV with audio first")
            << "audiofirst.flv" << v225 + QStringList{"-s",      "640x360", "-r",  "24",  "-ar",
                                                      "22050Hz", "-ab",     "48k", "-ac", "1"}
            << QSize(640, 360) << 24 << 22050 << 1 << 48;
    }

    void encode()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(int, fps);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QFETCH(int, mp3Kbps);
        const QString out = dir.filePath(QString("out-%1.flv").arg(QTest::currentDataTag()));
        const Result r = runFrontEnd(QStringList{"-i", src(source)} + options + QStringList{out});
        QVERIFY2(r.code == 0, r.err.constData());
        // The progress the window reads comes through on the error output.
        QVERIFY(r.err.contains("Duration: 00:00:0"));
        QVERIFY(r.err.contains("time=00:00:0"));

        const QJsonObject probed = probe(out);
        QCOMPARE(probed["format"].toObject()["format_name"].toString(), QString("flv"));
        const double sourceDuration =
            probe(src(source))["format"].toObject()["duration"].toString().toDouble();
        // MP3 padding and the last frame's time at a low rate add a little.
        const double slack = 0.4;
        QVERIFY(qAbs(probed["format"].toObject()["duration"].toString().toDouble() -
                     sourceDuration) < slack);

        const QJsonObject video = stream(probed, "video");
        if (size.isValid()) {
            QCOMPARE(video["codec_name"].toString(), QString("flv1"));
            QCOMPARE(QSize(video["width"].toInt(), video["height"].toInt()), size);
            QCOMPARE(video["r_frame_rate"].toString(), QString("%1/1").arg(fps));
            const int kbps = options[options.indexOf("-b") + 1].chopped(4).toInt();
            QCOMPARE(video["bit_rate"].toString().toInt(), kbps * 1000); // as the file announces it
        } else {
            QVERIFY(video.isEmpty());
        }
        const QJsonObject audio = stream(probed, "audio");
        if (sampleRate) {
            QCOMPARE(audio["codec_name"].toString(), QString("mp3"));
            QCOMPARE(audio["sample_rate"].toString().toInt(), sampleRate);
            QCOMPARE(audio["channels"].toInt(), channels);
            const double measured = measuredMp3Kbps(out, sampleRate);
            QVERIFY2(qAbs(measured - mp3Kbps) < mp3Kbps * 0.03,
                     qPrintable(QString::number(measured)));
        } else {
            QVERIFY(audio.isEmpty());
        }
    }

    void stills_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("written");
        QTest::newRow("ten") << "av.avi"
                             << "10"
                             << "400x300" << 10;
        QTest::newRow("one, odd size") << "video.mp4"
                                       << "1"
                                       << "240x135" << 1;
        QTest::newRow("more than the source has") << "three.avi"
                                                  << "10"
                                                  << "160x120" << 3;
    }

    void stills()
    {
        QFETCH(QString, source);
        QFETCH(QString, count);
        QFETCH(QString, size);
        QFETCH(int, written);
        QTemporaryDir out;
        const Result r = runFrontEnd(
            {"-i", src(source), "-s", size, "-vframes", count, out.filePath("cover%d.jpg")});
        QVERIFY2(r.code == 0, r.err.constData());
        QSet<QString> expected;
        for (int n = 1; n <= written; ++n)
            expected << QString("cover%1.jpg").arg(n);
        QCOMPARE(listing(out.path()), expected); // nothing else, no scratch folder left
        const QJsonObject still = stream(probe(out.filePath("cover1.jpg")), "video");
        QCOMPARE(still["codec_name"].toString(), QString("mjpeg"));
        QCOMPARE(QString("%1x%2").arg(still["width"].toInt()).arg(still["height"].toInt()), size);
        // Consecutive frames of a moving picture differ.
        if (written > 1)
            QVERIFY(readAll(out.filePath("cover1.jpg")) != readAll(out.filePath("cover2.jpg")));
    }

    void probeReport_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QSize>("size"); // what the window reads; invalid for none
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("video and audio")
            << "av.avi" << QSize(320, 240)
            << QStringList{"    Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25.00 fps(r)",
                           "    Stream #0.1: Audio: mp3, 48000 Hz, mono"};
        QTest::newRow("video only")
            << "video.mp4" << QSize(176, 144)
            << QStringList{"    Stream #0.0: Video: h264, yuv420p, 176x144, 30.00 fps(r)"};
        QTest::newRow("audio only")
            << "audio.wav" << QSize()
            << QStringList{"    Stream #0.0: Audio: pcm_s16le, 44100 Hz, stereo"};
        QTest::newRow("audio stream first")
            << "audiofirst.flv" << QSize(240, 180)
            << QStringList{"    Stream #0.0: Audio: mp3, 22050 Hz, mono",
                           "    Stream #0.1: Video: flv1, yuv420p, 240x180, 12.00 fps(r)"};
    }

    void probeReport()
    {
        QFETCH(QString, source);
        QFETCH(QSize, size);
        QFETCH(QStringList, lines);
        const Result r = runFrontEnd({"-i", src(source)});
        QVERIFY(r.code != 0 && !r.crashed); // no output was named
        const QByteArray report = r.out + r.err;
        for (const QString& line : lines)
            QVERIFY2(report.contains(line.toUtf8()), report.constData());
        QVERIFY(report.contains("  Duration: 00:00:0"));
        QCOMPARE(windowReadsSize(report), size);
    }

    // Names with ":" or a lower-case "x" would spoil the window's reading.
    void probeNamesHoldNoSeparators()
    {
        makeSource(src("dnx.mov"), "testsrc=size=1920x1080:rate=25:duration=0.2", "",
                   {"-c:v", "dnxhd", "-b:v", "36M", "-pix_fmt", "yuv422p"});
        const Result r = runFrontEnd({"-i", src("dnx.mov")});
        QVERIFY(r.err.contains("Video: DNXHD, yuv422p, 1920x1080, 25.00 fps(r)"));
        QCOMPARE(windowReadsSize(r.err), QSize(1920, 1080));
    }
};

QTEST_GUILESS_MAIN(TestEncoderShapes)
#include "test_encoder_shapes.moc"
