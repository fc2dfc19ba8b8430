// The encoder front-end on real FFmpeg, with the tables of this folder: the window's three command
// shapes, hostile names and texts, and failures up to a kill at any moment, which leave nothing.
#include "pipeline/ProbeReport.h"
#include "tests/support/ToolTest.h"

#include <QImage>

using ToolTest::listing, ToolTest::probe, ToolTest::readAll, ToolTest::writeFile, ToolTest::Run;

const QString frontEnd = ENCODER_PATH, dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The front-end's runtime and temporary folder "run" (0700), or its "cache".
static QString sandbox(const QString& name = "run")
{
    static QTemporaryDir dir;
    static const bool made = QDir(dir.path()).mkdir("run") && // the front-end makes "cache"
                             QFile::setPermissions(dir.filePath("run"), QFile::Permissions(0x7000));
    return made ? dir.filePath(name) : QString();
}

// The front-end (or PROGRAM) with ARGS in its sandbox, with the settings ENV, in WORKDIR.
static Run run(const QStringList& args, const QString& program = frontEnd,
               const QStringList& env = {}, const QString& workDir = {})
{
    const QStringList names =
        QString("KESTREL_FFMPEG KESTREL_FFPROBE KESTREL_ENCODER_FRONTEND KESTREL_SCRATCH_NAMED "
                "XDG_CACHE_HOME=%1/cache XDG_RUNTIME_DIR=%1/run TMPDIR=%1/run")
            .arg(QFileInfo(sandbox()).path())
            .split(' ');
    return ToolTest::run(program.isEmpty() ? frontEnd : program, args, names + env, workDir);
}

// PATH's video and audio streams as ffprobe reads them ("-": none).
static QString described(const QString& path)
{
    const QString v = probe(path, "v",
                            "stream=codec_name,profile,width,height,sample_aspect_ratio,"
                            "pix_fmt,r_frame_rate,bit_rate"),
                  a = probe(path, "a", "stream=codec_name,sample_rate,channels,bit_rate");
    return (v.isEmpty() ? "-" : v) + " " + (a.isEmpty() ? "-" : a);
}

static QString sizeRead(const QByteArray& report)
{
    const std::optional<FrameSize> size = ParseProbeReport(report);
    return size ? QString("%1x%2").arg(size->width).arg(size->height) : "-";
}

static QSet<QString> stillNames(const QString& first, int n, QSet<QString> also = {})
{
    for (int i = 1; i <= n; ++i)
        also << QString("%1%2.jpg").arg(first).arg(i);
    return also;
}

// True once no process (but zombies) has TEXT in its command line, within 30 s.
static bool gone(const QString& text)
{
    const QStringList args = {"-f", QRegularExpression::escape(text)};
    return QTest::qWaitFor([&] { return run(args, "pgrep").code == 1; }, 30000);
}

class TestEncoder : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray plainFrame; // black.avi's first frame without a watermark
    // FFmpeg's own options for what the front-end does with -b 225kb/s -r 10, and a filter.
    const QStringList byFFmpeg = {"-b:v",      "225k", "-maxrate", "225001", "-bufsize", "112500",
                                  "-fps_mode", "cfr",  "-c:v",     "flv1",   "-vf"};
    QString src(const QString& name) const { return dir.filePath(name); }
    static QSet<QString> leftovers(const QString& dir) { return listing(dir) + listing(sandbox()); }

    // black.avi's first frame encoded by PROGRAM (or the front-end) with ARGS; empty on a failure.
    QByteArray drawn(const QStringList& args, const QString& program = {})
    {
        QTemporaryDir work;
        const QString out = work.filePath("out.flv");
        const QStringList all =
            QStringList{"-i", src("black.avi"), "-s", "160x120", "-r", "10", "-an"} + args << out;
        if (run(all, program, {}, work.path()).code != 0 ||
            leftovers(work.path()) != QSet<QString>{"out.flv"})
            return {};
        return run({"-i", out, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                   "ffmpeg")
            .out;
    }

    // A row's ARGS ("|" between them) with the @NAMEs of failures.txt resolved.
    QStringList resolved(QString args, const QString& work)
    {
        args.replace("@SRC", src("av.avi")).replace("@FILES", dir.path()).replace("@FONT", dejaVu);
        args.replace("@APP", QFileInfo(frontEnd).path()).replace("@FRONTEND", frontEnd);
        args.replace("@RELEASES", FFMPEG_OUTPUT_DIR);
        args.replace("@LONG", QString(100000, '1')).replace("@OUT", work + "/out.flv");
        return args.replace("@DIR", work).split('|', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        const Run r = run({DATA_DIR "/files.sh", dir.path(), RGB_TABLE_PATH, frontEnd}, "sh");
        QVERIFY2(r.code == 0, r.err.constData());
        plainFrame = drawn(byFFmpeg + QStringList{"null"}, "ffmpeg");
        QCOMPARE(plainFrame.size(), 160 * 120 * 3);
    }

    void encode_data() { ToolTest::addRows(DATA_DIR "/encode.txt"); }
    void encode()
    {
        QFETCH(QStringList, row); // source and options, streams
        QStringList args = row[0].split(' ');
        QTemporaryDir outDir;
        const QString source = src(args.takeFirst()), out = outDir.filePath("out.flv");
        const Run r = run(QStringList{"-i", source, "-b", "225kb/s"} + args + QStringList{out});
        // The progress the window reads comes through on the error output (FFmpeg 7.1 writes a
        // short encode's one status line with a line feed, 5.1 the first ones with a CR).
        QVERIFY2(r.code == 0 && r.err.contains("Duration: 00:00:0") &&
                     r.err.contains("time=00:00:0"),
                 r.err.constData());
        QCOMPARE(described(out), row[1]);
        // MP3 padding and the last frame's time at a low rate add a little.
        const double duration = probe(out, "", "format=duration").toDouble();
        QVERIFY(qAbs(duration - probe(source, "", "format=duration").toDouble()) < 0.4);
        // FFmpeg went back to fill in the header's duration and size.
        const QJsonObject meta = QJsonDocument::fromJson(run({"-j", out}, "flvmeta").out).object();
        QVERIFY(meta["filesize"].toInteger() == QFileInfo(out).size() &&
                qAbs(meta["duration"].toDouble() - duration) < 0.1);
        // The video keeps to the bitrate on a busy source, in H.264 even on a noisy one.
        qint64 videoBytes = 0;
        for (const QString& size : probe(out, "v", "packet=size").split('\n'))
            videoBytes += size.toLongLong();
        QVERIFY2((!row[0].startsWith("busy") && !row[0].startsWith("noise")) ||
                     videoBytes * 8 / duration < 1.2 * 225000,
                 qPrintable(QString::number(videoBytes * 8 / duration)));
    }

    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name :
             ToolTest::corpus("hostile-names.txt") +
                 QStringList{"-x.flv", "cover%d.jpg", "Video: 1x2, 6x4.avi",
                             "a\rtime=00:59:59.00 b\nDuration: 01:00:00.00, c"})
            QTest::newRow(qPrintable(name.left(40))) << name;
    }

    // NAME as the source, as a folder and (with .flv) as the output in it, with two stills of
    // another size beside it; the probe gets the name relative to the working folder.
    void hostileNames()
    {
        QFETCH(QString, name);
        QTemporaryDir base;
        const QString o = "out/" + name, in = base.filePath("in/" + name),
                      flv = o + "/" + (name.endsWith(".flv") ? name : name + ".flv");
        QVERIFY(QDir(base.path()).mkpath(o) && QDir(base.path()).mkpath("in") &&
                QFile::copy(src("three.avi"), in));
        Run r = run({"-i", in, "-b", "225kb/s", "-s", "160x120", "-r", "10", base.filePath(flv)});
        QVERIFY2(r.code == 0 && described(base.filePath(flv)) ==
                                    "flv1,unknown,160,120,N/A,yuv420p,10/1,225000 -",
                 r.err.constData());
        r = run({"-i", in, "-s", "80x60", "-vframes", "2", base.filePath(o + "/cover%d.jpg")});
        QVERIFY2(r.code == 0 && !r.err.contains("00:59:59") && !r.err.contains("01:00:00"),
                 r.err.constData()); // no line of FFmpeg's holds the name's line break
        const QString still = base.filePath(o + "/cover1.jpg");
        QVERIFY(QImage(still, "JPG").size() == QSize(80, 60) &&
                readAll(still) != readAll(base.filePath(o + "/cover2.jpg")));
        QCOMPARE(sizeRead(run({"-i", name}, {}, {}, base.filePath("in")).err), "160x120");
        QCOMPARE(leftovers(base.path()),
                 stillNames(o + "/cover", 2, {"in", "in/" + name, "out", o, flv}));
    }

    void watermark_data()
    {
        ToolTest::addRows(DATA_DIR "/watermark.txt");
        for (const QString& text : ToolTest::corpus("hostile-texts.txt"))
            QTest::newRow(qPrintable(text.left(40))) << QStringList{"-t " + text, "FFFF00FF"};
    }
    void watermark()
    {
        QFETCH(QStringList, row); // option and value, colour drawn
        QMap<QString, QString> o = {{"-c", "yellow"}, {"-F", "DejaVu/20"}, {"-A", "255"},
                                    {"-x", "20"},     {"-y", "40"},        {"-t", "Sample"}};
        o[row[0].left(2)] = row[0].mid(3);
        QTemporaryDir files; // this row's font file and text file
        const QString font = files.filePath(o["-F"].section('/', 0, -2)),
                      size = o["-F"].section('/', -1), text = files.filePath("text");
        QVERIFY(QDir().mkpath(QFileInfo(font).path()) && QFile::copy(dejaVu, font) &&
                writeFile(text, o["-t"].toUtf8()));
        const QByteArray frame = drawn(
            {"-b", "225kb/s", "-vhook",
             QString("imlib2.dll -c %1 -F %2/%3 -C %4 -A %5 -x %6 -y %7 -t %8")
                 .arg(o["-c"], font, size, src("rgb.txt"), o["-A"], o["-x"], o["-y"], o["-t"])});
        const QString filter = QString("drawtext=fontfile=%1:textfile=%2:expansion=none:fontsize="
                                       "%3:fontcolor=0x%4:x=%5:y=%6")
                                   .arg(dejaVu, text, size, row[1], o["-x"], o["-y"]);
        QVERIFY(frame.size() == plainFrame.size() && frame != plainFrame &&
                frame == drawn(byFFmpeg + QStringList{filter}, "ffmpeg"));
    }

    void failures_data() { ToolTest::addRows(DATA_DIR "/failures.txt"); }
    void failures()
    {
        QFETCH(QStringList, row); // arguments, result
        QTemporaryDir work;
        QVERIFY(writeFile(work.filePath("out.flv"), "older file"));
        QStringList args = resolved(row[0], work.path());
        const QString program = args.value(0, "-").startsWith('-') ? frontEnd : args.takeFirst();
        const Run r =
            run(args, program, {"KESTREL_FFMPEG=" + src("stand-in"), "XDG_CACHE_HOME=/dev/null"},
                work.path());
        QVERIFY(gone(src("stand-in")) && listing(src("victim")) == QSet<QString>{"keep"});
        QVERIFY2(r.code == 0 || (leftovers(work.path()) == QSet<QString>{"out.flv"} &&
                                 readAll(work.filePath("out.flv")) == "older file"),
                 "a failure left something");
        const bool refusal = row[1].startsWith("ffmpeg: ");
        const QString result = refusal ? "1 " + row[1].mid(8) : row[1],
                      code = result.section(' ', 0, 0);
        QVERIFY2((code == "+" ? r.code > 0 : r.code == code.toInt()) &&
                     (!refusal || (r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1)),
                 r.err.left(300).constData());
        const QByteArray said =
            r.out + r.err + "\nthe window reads " + sizeRead(r.out + r.err).toUtf8();
        for (const QString& words : result.section(' ', 1).split('|', Qt::SkipEmptyParts))
            QVERIFY2(said.contains(words.toUtf8()), r.err.left(300).constData());
    }

    // FFmpeg is asked what it offers once per program file, again when it changes and before any
    // refusal; a cache holding anything but an answer costs the questions (failures has no cache).
    void partsAskedOnce()
    {
        const QString fake = src("counted");
        QVERIFY(QFile::copy(src("stand-in"), fake));
        QTemporaryDir cache;
        QStringList env = {"KESTREL_FFMPEG=" + fake, "XDG_CACHE_HOME=" + cache.path(),
                           "LACKS=mjpeg"};
        const QStringList args = {"-i", src("av.avi"), "-vframes", "1", cache.filePath("c%d.jpg")};
        auto askedAfterRun = [&](int code) {
            return run(args, {}, env).code == code ? int(readAll(fake + ".asked").size()) : -1;
        };
        // One question for each of four lists; a missing part is asked again, found once it came.
        QCOMPARE((QList<int>{askedAfterRun(1), askedAfterRun(1)}), (QList<int>{4, 8}));
        env.removeLast();
        QCOMPARE((QList<int>{askedAfterRun(0), askedAfterRun(0)}), (QList<int>{12, 12}));
        writeFile(fake, readAll(fake) + "# changed\n");
        QCOMPARE((QList<int>{askedAfterRun(0), askedAfterRun(0)}), (QList<int>{16, 16}));
        const QString kept = cache.filePath(
            "kestrel/" + QDir(cache.filePath("kestrel")).entryList({"ffmpeg-parts*"})[0]);
        QByteArray answer = readAll(kept);
        QVERIFY(writeFile(kept, answer.left(answer.lastIndexOf('\n', -2) + 1) + "-1\n"));
        env << "LACKS=mjpeg";
        QCOMPARE(askedAfterRun(1), 20);
        QCOMPARE(listing(cache.path() + "/kestrel").size(), 1);
    }

    // SIGKILL at moments of each job, unnamed and named scratch files; a "%" source makes a link.
    void killedAnyTime()
    {
        const QString encode =
            "|-s|640x480|-vhook|imlib2.dll -c red -F @FONT/9 -C @FILES/rgb.txt -t %|@OUT";
        for (const QString& job : QStringList{encode, "|-vframes|40|@DIR/c%d.jpg", ""})
            for (const QString named : {"", "1"}) {
                QTemporaryDir work;
                QVERIFY(QFile::copy(src("av.avi"), work.filePath("s%d.avi")) &&
                        writeFile(work.filePath("out.flv"), "older file"));
                const QStringList args = resolved("-i|@DIR/s%d.avi" + job, work.path()),
                                  env = {"KESTREL_SCRATCH_NAMED=" + named};
                for (const QString delay : {"0.001", "0.05", "0.15", "0.4", "0.9"}) {
                    // Only the front-end is killed (its FFmpeg dies with it), and timeout waits for
                    // its end: else the front-end might still hold its locks at the next run.
                    run(QStringList{"--foreground", "-s", "KILL", delay, frontEnd} + args,
                        "timeout", env);
                    QVERIFY(gone(sandbox()));
                    const QByteArray older = readAll(work.filePath("out.flv"));
                    QVERIFY2(older == "older file" || (job == encode && older.startsWith("FLV")),
                             qPrintable(job + named));
                    if (job == encode && named.isEmpty())
                        QCOMPARE(listing(work.path()), (QSet<QString>{"out.flv", "s%d.avi"}));
                }
                // The next run in that folder finds the leftovers and removes them.
                QCOMPARE(run(args, {}, env).code, job.isEmpty() ? 1 : 0);
                QCOMPARE(leftovers(work.path()), stillNames("c", job.contains("-vframes") ? 40 : 0,
                                                            {"out.flv", "s%d.avi"}));
            }
    }
};

QTEST_GUILESS_MAIN(TestEncoder)
#include "test_encoder.moc"
