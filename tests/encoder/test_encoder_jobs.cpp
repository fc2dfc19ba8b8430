// The three command shapes the window writes (encode, stills, probe), run
// through the front-end on real FFmpeg and checked with ffprobe and flvmeta;
// every hostile name as source, output folder and output name; and the text
// watermark, compared pixel for pixel with FFmpeg drawing it from plain files.
#include "EncoderTestSupport.h"

using namespace enc;

namespace
{

// "WxH@FPS" of the video and "RATE/CHANNELS/KBPS" of the audio of PATH; "-"
// for none, and the codec and bitrate too when they are not flv1 at 225 kbit/s and MP3.
QString described(const QString& path)
{
    const QJsonObject v = probe(path, "video"), a = probe(path, "audio");
    const QString video = QString("%1 %2x%3@%4 %5")
                              .arg(v["codec_name"].toString())
                              .arg(v["width"].toInt())
                              .arg(v["height"].toInt())
                              .arg(v["r_frame_rate"].toString(), v["bit_rate"].toString());
    const QString audio = QString("%1 %2/%3/%4")
                              .arg(a["codec_name"].toString(), a["sample_rate"].toString())
                              .arg(a["channels"].toInt())
                              .arg(a["bit_rate"].toString().toDouble() / 1000);
    return (v.isEmpty() ? "-" : QString(video).replace("/1 225000", "").remove("flv1 ")) + " " +
           (a.isEmpty() ? "-" : QString(audio).remove("mp3 "));
}

// The first frame of PATH as raw RGB bytes.
QByteArray firstFrame(const QString& path)
{
    return run({"-i", "file:" + path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
               "ffmpeg")
        .out;
}

} // namespace

class TestEncoderJobs : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray plainFrame; // black.avi's first frame without a watermark
    QString src(const QString& name) const { return dir.filePath(name); }

    // The first frame of black.avi encoded with the watermark option VHOOK,
    // or, when FILTER is given, by FFmpeg itself with that filter; empty when
    // the encode failed or left a file anywhere.
    QByteArray drawn(const QString& vhook, const QString& filter = {})
    {
        QTemporaryDir work;
        const QString out = work.filePath("out.flv");
        const QStringList common = {"-i", src("black.avi"), "-s", "160x120", "-r", "10", "-an"};
        const Result r =
            filter.isEmpty()
                ? run(common + QStringList{"-b", "225kb/s", "-vhook", vhook, out}, {}, work.path())
                : run(common + QStringList{"-b:v", "225k", "-vf", filter, "-fps_mode", "cfr",
                                           "-c:v", "flv1", out},
                      "ffmpeg");
        if (r.code == 0 && listing(work.path()) == QSet<QString>{"out.flv"} &&
            leftInSandbox().isEmpty())
            return firstFrame(out);
        qWarning() << r.err << listing(work.path()) << leftInSandbox();
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        makeSource(src("av.avi"), "testsrc=size=320x240:rate=25:duration=2 "
                                  "sine=f=440:r=48000:d=2 -c:v mpeg4 -c:a mp3 -shortest");
        makeSource(src("video.mp4"), "testsrc=size=176x144:rate=30:duration=1 -pix_fmt yuv420p");
        makeSource(src("audio.wav"), "sine=f=300:r=44100:d=2 -ac 2");
        QVERIFY(QFile::copy(src("audio.wav"), src("Video: 1x2, 640x480.wav")));
        makeSource(src("three.avi"), "testsrc=size=160x120:rate=3:duration=1 -c:v mpeg4");
        // An FLV whose first stream is the audio one.
        makeSource(src("audiofirst.flv"), "testsrc=size=240x180:rate=12:duration=1 "
                                          "sine=r=22050:d=1 -map 1:a -map 0:v -c:v flv1");
        makeSource(
            src("dnx.mov"),
            "testsrc=size=1920x1080:rate=25:duration=0.2 -c:v dnxhd -b:v 36M -pix_fmt yuv422p");
        makeSource(src("black.avi"), "color=c=black:s=160x120:r=10:d=1 -c:v mpeg4");
        plainFrame = drawn({}, "null");
        QCOMPARE(plainFrame.size(), 160 * 120 * 3);
    }

    // "SOURCE OPTIONS => VIDEO AUDIO" as described() puts them. MP3 has 32-320
    // kbit/s at 44100 Hz, 8-160 at 22050 and 8-64 at 11025: the nearest is taken.
    void encode_data()
    {
        QTest::addColumn<QString>("spec");
        for (const char* spec :
             {"av.avi -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 => 400x300@24 22050/1/64",
              "av.avi -s 240x135 -r 25 -ar 44100Hz -ab 24k -ac 2 => 240x135@25 44100/2/32",
              "av.avi -s 400x225 -r 15 -ar 11025Hz -ab 160k -ac 1 => 400x225@15 11025/1/64",
              "av.avi -s 160x120 -r 8 -ar 11025Hz -ab 80k -ac 2 => 160x120@8 11025/2/64",
              "av.avi -s 768x576 -r 30 -ar 22050Hz -ab 144k -ac 1 => 768x576@30 22050/1/144",
              "av.avi -s 240x180 -r 12 -an => 240x180@12 -",
              "av.avi -s 320x180 -r 12 -an => 320x180@12 -",
              "av.avi -s 320x240 -r 12 -an => 320x240@12 -",
              "av.avi -s 512x384 -r 12 -an => 512x384@12 -",
              "av.avi -s 640x360 -r 12 -an => 640x360@12 -",
              "av.avi -s 640x480 -r 12 -an => 640x480@12 -",
              "av.avi -s 768x432 -r 12 -an => 768x432@12 -",
              "video.mp4 -s 320x180 -r 24 -ar 22050Hz -ab 64k -ac 1 => 320x180@24 -",
              "audio.wav -s 400x300 -r 24 -ar 44100Hz -ab 128k -ac 2 => - 44100/2/128",
              "audiofirst.flv -s 512x288 -r 24 -ar 22050Hz -ab 48k -ac 1 => 512x288@24 22050/1/48"})
            QTest::newRow(spec) << QString(spec);
    }

    void encode()
    {
        QFETCH(QString, spec);
        QStringList args = spec.section(" => ", 0, 0).split(' ');
        QTemporaryDir outDir;
        const QString source = src(args.takeFirst()), out = outDir.filePath("out.flv");
        const Result r = run(QStringList{"-i", source, "-b", "225kb/s"} + args + QStringList{out});
        QVERIFY2(r.code == 0, r.err.constData());
        // The progress the window reads comes through on the error output.
        QVERIFY(r.err.contains("Duration: 00:00:0") && r.err.contains("time=00:00:0"));
        QCOMPARE(described(out), spec.section(" => ", 1));
        QCOMPARE(listing(outDir.path()) + leftInSandbox(), QSet<QString>{"out.flv"});
        // MP3 padding and the last frame's time at a low rate add a little.
        const double duration = probe(out)["duration"].toString().toDouble();
        QVERIFY(qAbs(duration - probe(source)["duration"].toString().toDouble()) < 0.4);
        // FFmpeg went back to fill in the header's duration and size.
        const QJsonObject meta = QJsonDocument::fromJson(run({"-j", out}, "flvmeta").out).object();
        QCOMPARE(meta["filesize"].toInteger(), QFileInfo(out).size());
        QVERIFY(qAbs(meta["duration"].toDouble() - duration) < 0.1);
    }

    void stills()
    {
        for (const char* spec : {"av.avi 10 400x300 10", "video.mp4 1 240x135 1",
                                 "three.avi 10 160x120 3"}) { // source, count, size, written
            const QStringList f = QString(spec).split(' ');
            QTemporaryDir out;
            const Result r =
                run({"-i", src(f[0]), "-s", f[2], "-vframes", f[1], out.filePath("cover%d.jpg")});
            QVERIFY2(r.code == 0, r.err.constData());
            QSet<QString> expected;
            for (int n = 1; n <= f[3].toInt(); ++n)
                expected << QString("cover%1.jpg").arg(n);
            QCOMPARE(listing(out.path()), expected); // nothing else, no scratch folder left
            QCOMPARE(described(out.filePath("cover1.jpg")).section('@', 0, 0), "mjpeg " + f[2]);
            // Consecutive frames of a moving picture differ.
            QVERIFY(f[3] == "1" ||
                    readAll(out.filePath("cover1.jpg")) != readAll(out.filePath("cover2.jpg")));
        }
    }

    // "SOURCE => SIZE THE WINDOW READS (- for none) | LINES OF THE REPORT".
    void probeReport_data()
    {
        QTest::addColumn<QString>("spec");
        const QString avi = "320x240|Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25.00 fps(r)|"
                            "Stream #0.1: Audio: mp3, 48000 Hz, mono",
                      wav = "-|    Stream #0.0: Audio: pcm_s16le, 44100 Hz, stereo";
        for (
            const QString& spec : QStringList{
                "av.avi => " + avi, "audio.wav => " + wav, "Video: 1x2, 640x480.wav => " + wav,
                "video.mp4 => 176x144|    Stream #0.0: Video: h264, yuv420p, 176x144, 30.00 fps(r)",
                "audiofirst.flv => 240x180|    Stream #0.0: Audio: mp3, 22050 Hz, mono|"
                "    Stream #0.1: Video: flv1, yuv420p, 240x180, 12.00 fps(r)",
                // A lower-case "x" in the codec name would spoil the window's reading.
                "dnx.mov => 1920x1080|Stream #0.0: Video: DNXHD, yuv422p, 1920x1080, 25.00 fps(r)"})
            QTest::newRow(qPrintable(spec.section(" => ", 0, 0))) << spec;
    }

    void probeReport()
    {
        QFETCH(QString, spec);
        QStringList expected = spec.section(" => ", 1).split('|');
        const Result r = run({"-i", src(spec.section(" => ", 0, 0))});
        QCOMPARE(r.code, 1); // no output was named
        const QSize size = sizeRead(r.out + r.err);
        QCOMPARE(QString("%1x%2").arg(size.width()).arg(size.height()).replace("-1x-1", "-"),
                 expected.takeFirst());
        for (const QString& line : expected + QStringList{"  Duration: 00:00:0"})
            QVERIFY2(r.err.contains(line.toUtf8()), r.err.constData());
    }

    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : corpus("hostile-names.txt") +
                                       QStringList{"-x.flv", "cover%d.jpg", "Video: 1x2, 6x4.avi"})
            QTest::newRow(qPrintable(name.left(40))) << name;
    }

    // NAME as the source's name, as a folder, and (with .flv added) as the
    // output's name in that folder; stills go into the same folder. The probe
    // is given the name relative to the working folder.
    void hostileNames()
    {
        QFETCH(QString, name);
        QTemporaryDir base;
        const QString o = "out/" + name, in = base.filePath("in/" + name),
                      flv = o + "/" + (name.endsWith(".flv") ? name : name + ".flv");
        QVERIFY(QDir(base.path()).mkpath(o) && QDir(base.path()).mkpath("in"));
        QVERIFY(QFile::copy(src("three.avi"), in));
        Result r =
            run({"-i", in, "-b", "225kb/s", "-s", "160x120", "-r", "10", base.filePath(flv)});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(described(base.filePath(flv)), QString("160x120@10 -"));
        r = run({"-i", in, "-s", "160x120", "-vframes", "2", base.filePath(o + "/cover%d.jpg")});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(sizeRead(run({"-i", name}, {}, base.filePath("in")).err), QSize(160, 120));
        QCOMPARE(listing(base.path()), (QSet<QString>{"in", "in/" + name, "out", o, flv,
                                                      o + "/cover1.jpg", o + "/cover2.jpg"}));
        QCOMPARE(leftInSandbox(), QSet<QString>());
    }

    // "OPTION VALUE => COLOUR DRAWN (RRGGBBAA)", the option changing the
    // default watermark: yellow DejaVu Sans 20 at (20, 40) saying "Sample".
    void watermark_data()
    {
        QTest::addColumn<QString>("spec");
        for (const QString& text : corpus("hostile-texts.txt"))
            QTest::newRow(qPrintable("-t " + text.left(30))) << "-t " + text + " => FFFF00FF";
        // Colour names are compared without case and blanks; in a table, the
        // first good line wins. Font paths hold what the filter graph reacts to.
        for (const char* spec :
             {"-c Navy Blue => 000080FF", "-c LIGHTsteelBLUE => B0C4DEFF", "-A 128 => FFFF0080",
              "-x 59.5 => FFFF00FF", "-y -5 => FFFF00FF", "-F DejaVu/36 => FFFF00FF",
              "-c mymixedCOLOUR => 0A141EFF", "-F my fonts/Deja Vu.ttf/20 => FFFF00FF",
              "-F c:fonts/a:b.ttf/20 => FFFF00FF", "-F it's [x]/q'\\,;%{pts}.ttf/20 => FFFF00FF"})
            QTest::newRow(spec) << QString(spec);
    }

    void watermark()
    {
        QFETCH(QString, spec);
        QTemporaryDir files; // the colour table and the font file of this row
        QMap<QString, QString> o = {{"-c", "yellow"}, {"-F", "DejaVu/20"}, {"-A", "255"},
                                    {"-x", "20"},     {"-y", "40"},        {"-t", "Sample"}};
        o[spec.left(2)] = spec.mid(3).section(" => ", 0, 0);
        QVERIFY(writeFile(files.filePath("rgb.txt"),
                          readAll(colourTable) + "300 0 0\t\tmy mixed colour\n  10 20 30\t\t My  "
                                                 "Mixed Colour  \r\n40 50 60\t\tmymixedcolour\n"));
        const QString font = files.filePath(o["-F"].section('/', 0, -2)),
                      size = o["-F"].section('/', -1);
        QVERIFY(QDir().mkpath(QFileInfo(font).path()) && QFile::copy(dejaVu, font));
        const QByteArray frame =
            drawn(QString("imlib2.dll -c %1 -F %2/%3 -C %4 -A %5 -x %6 -y %7 -t %8")
                      .arg(o["-c"], font, size, files.filePath("rgb.txt"), o["-A"], o["-x"],
                           o["-y"], o["-t"]));
        QVERIFY(writeFile(files.filePath("text"), o["-t"].toUtf8()));
        const QByteArray reference =
            drawn({}, QString("drawtext=fontfile=%1:textfile=%2:expansion=none:fontsize=%3:"
                              "fontcolor=0x%4:x=%5:y=%6")
                          .arg(dejaVu, files.filePath("text"), size, spec.section(" => ", 1),
                               o["-x"], o["-y"]));
        QVERIFY(frame.size() == plainFrame.size() && frame != plainFrame && frame == reference);
    }
};

QTEST_GUILESS_MAIN(TestEncoderJobs)
#include "test_encoder_jobs.moc"
