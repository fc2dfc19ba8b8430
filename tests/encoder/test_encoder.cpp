// The encoder front-end on real FFmpeg: the window's three command shapes, the
// hostile names and texts, and what goes wrong, up to a front-end killed at
// any moment. An older output stays as it was, and nothing else stays (at the
// latest once the next run has been in that folder), in no folder at all.
#include "pipeline/ProbeReport.h"
#include "tests/support/TestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

namespace
{

const QString frontEnd = ENCODER_PATH, colourTable = RGB_TABLE_PATH,
              dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Result {
    int code = -1; // also when it crashed
    QByteArray out, err;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Every file and folder below DIR, as paths relative to it.
QSet<QString> listing(const QString& dir)
{
    QSet<QString> names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(QDir(dir).relativeFilePath(it.next()));
    return names;
}

// The front-end's runtime and temporary folder "run" (0700), or its "cache".
QString sandbox(const QString& name = "run")
{
    static QTemporaryDir dir;
    static const bool made = QDir(dir.path()).mkdir("run") && // the front-end makes "cache"
                             QFile::setPermissions(dir.filePath("run"), QFile::Permissions(0x7000));
    return made ? dir.filePath(name) : QString();
}

// The environment of a front-end run, with NAME=VALUE settings added.
QProcessEnvironment environment(const QStringList& settings = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"KESTREL_FFMPEG", "KESTREL_FFPROBE", "KESTREL_ENCODER_FRONTEND", "KESTREL_SCRATCH_NAMED"})
        env.remove(name);
    for (const QString& setting :
         QStringList{"XDG_CACHE_HOME=" + sandbox("cache"), "XDG_RUNTIME_DIR=" + sandbox(),
                     "TMPDIR=" + sandbox()} +
             settings)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return env;
}

// Runs PROGRAM (the front-end when empty) with ARGS in WORKDIR.
Result run(const QStringList& args, const QString& program = {}, const QString& workDir = {},
           const QProcessEnvironment& env = environment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(program.isEmpty() ? frontEnd : program, args);
    Result r;
    if (p.waitForStarted() && p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    p.kill();
    p.waitForFinished();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// True when R is a refusal of the front-end's own: code 1 and one line
// "ffmpeg: ..." naming WHAT.
bool refused(const Result& r, const QByteArray& what)
{
    return r.code == 1 && r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1 &&
           r.err.contains(what);
}

// Makes a source with FFmpeg from ARGS, where each word holding "=" that is
// not an option names a lavfi graph as an input.
void makeSource(const QString& path, const QString& args)
{
    QStringList words = {"-nostdin", "-v", "error", "-y"};
    for (const QString& word : args.split(' ')) {
        if (!word.startsWith('-') && word.contains('='))
            words += {"-f", "lavfi", "-i"};
        words << word;
    }
    const Result r = run(words << "file:" + path, "ffmpeg");
    QVERIFY2(r.code == 0, r.err.constData());
}

// ffprobe's description of PATH: its format, or its first stream of TYPE.
QJsonObject probe(const QString& path, const QString& type = {})
{
    const Result r = run(
        {"-v", "error", "-of", "json", "-show_streams", "-show_format", "file:" + path}, "ffprobe");
    const QJsonObject probed = QJsonDocument::fromJson(r.out).object();
    for (const auto& s : probed["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == type)
            return s.toObject();
    return type.isEmpty() ? probed["format"].toObject() : QJsonObject();
}

// PATH's streams as "WxH@FPS" and "RATE/CHANNELS/KBPS" ("-" for none); an
// encoder other than flv1 at 225 kbit/s or MP3 is named in front.
QString described(const QString& path)
{
    auto f = [](const QJsonObject& o, const char* key) { return o[key].toVariant().toString(); };
    const QJsonObject v = probe(path, "video"), a = probe(path, "audio");
    const QString video = QString("%1 %2x%3@%4 %5")
                              .arg(f(v, "codec_name"), f(v, "width"), f(v, "height"),
                                   f(v, "r_frame_rate"), f(v, "bit_rate"))
                              .replace("/1 225000", "")
                              .remove(QRegularExpression("^flv1 "));
    const QString audio = QString("%1 %2/%3/%4")
                              .arg(f(a, "codec_name"), f(a, "sample_rate"), f(a, "channels"))
                              .arg(f(a, "bit_rate").toInt() / 1000.0)
                              .remove(QRegularExpression("^mp3 "));
    return (v.isEmpty() ? "-" : video) + " " + (a.isEmpty() ? "-" : audio);
}

// The frame size the window reads from a probe report, "WxH", or "-".
QString sizeRead(const QByteArray& report)
{
    const std::optional<FrameSize> size = ParseProbeReport(report);
    return size ? QString("%1x%2").arg(size->width).arg(size->height) : "-";
}

// True once no process (but zombies) has TEXT in its command line, within 30 s.
bool gone(const QString& text)
{
    for (int wait = 0; wait < 300; ++wait, QTest::qWait(100)) {
        bool found = false;
        for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
            const QByteArray stat = readAll("/proc/" + pid + "/stat");
            found = found || (readAll("/proc/" + pid + "/cmdline").contains(text.toUtf8()) &&
                              stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z");
        }
        if (!found)
            return true;
    }
    return false;
}

// A stand-in FFmpeg at PATH: runs BODY ($OUT: the file it is to write), and
// answers the lists of parts as Debian's ffmpeg does, minus the lines matching
// LACKS, counting those questions in PATH.asked.
QString fakeEncoder(const QString& path, const QString& body, const QString& lacks = "^$")
{
    const QString script = R"(#!/bin/sh
case "$2" in -muxers|-encoders|-filters|-h) echo >>"$0.asked"; ffmpeg "$@" | grep -v -e '%1'; exit;; esac
for a; do last=$a; done; OUT=${last#file:}
%2
)";
    writeFile(path, script.arg(lacks, body).toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestEncoder : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray plainFrame; // black.avi's first frame without a watermark
    const QString options = "|-b|225kb/s|-s|160x120|-r|10|-ar|22050Hz|-ab|32k|-ac|1|";
    QString src(const QString& name) const { return dir.filePath(name); }

    // The first frame of black.avi encoded with the watermark option VHOOK or,
    // given a FILTER, by FFmpeg itself; empty when that failed or left a file.
    QByteArray drawn(const QString& vhook, const QString& filter = {})
    {
        QTemporaryDir work;
        const QString out = work.filePath("out.flv");
        const QStringList mark =
            filter.isEmpty()
                ? QStringList{"-b", "225kb/s", "-vhook", vhook}
                : QStringList{"-b:v", "225k", "-vf", filter, "-fps_mode", "cfr", "-c:v", "flv1"};
        const Result r =
            run(QStringList{"-i", src("black.avi"), "-s", "160x120", "-r", "10", "-an"} + mark +
                    QStringList{out},
                filter.isEmpty() ? "" : "ffmpeg", work.path());
        if (r.code == 0 && listing(work.path()) + listing(sandbox()) == QSet<QString>{"out.flv"})
            return run({"-i", out, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                       "ffmpeg")
                .out;
        return {};
    }

    // ARGS ("|"-separated) with @SRC, @FILES (our folder), @FONT, @TABLE
    // (the application's colour table), @DIR and @OUT standing for those.
    QStringList resolved(QString args, const QString& work)
    {
        args.replace("@SRC", src("av.avi")).replace("@FILES", dir.path()).replace("@FONT", dejaVu);
        args.replace("@TABLE", colourTable).replace("@OUT", work + "/out.flv");
        return args.replace("@DIR", work).split('|', Qt::SkipEmptyParts);
    }

    // Runs ARGS in a fresh folder @DIR holding an older file @OUT; code -2 when a job that
    // failed left @OUT changed or anything else there or in the sandbox.
    Result runBeside(const QString& args, const QProcessEnvironment& env = environment())
    {
        QTemporaryDir work;
        writeFile(work.filePath("out.flv"), "older file");
        Result r = run(resolved(args, work.path()), {}, work.path(), env);
        if (r.code != 0 && (listing(work.path()) + listing(sandbox()) != QSet<QString>{"out.flv"} ||
                            readAll(work.filePath("out.flv")) != "older file"))
            r.code = -2;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        makeSource(src("av.avi"), "testsrc=size=320x240:rate=25:duration=2 "
                                  "sine=f=440:r=48000:d=2 -c:v mpeg4 -c:a mp3 -shortest");
        makeSource(src("video.mp4"), "testsrc=size=176x144:rate=30:duration=1 -pix_fmt yuv420p");
        makeSource(src("audio.wav"), "sine=f=300:r=44100:d=2 -ac 2");
        QVERIFY(QFile::copy(src("audio.wav"), src("x: Video: b, 999x777, c.wav")));
        makeSource(src("three.avi"), "testsrc=size=160x120:rate=3:duration=1 -c:v mpeg4");
        makeSource(src("audiofirst.flv"), "testsrc=size=240x180:rate=12:duration=1 "
                                          "sine=r=22050:d=1 -map 1:a -map 0:v -c:v flv1");
        makeSource(src("dnx.mov"), "testsrc=size=1920x1080:rate=25:duration=0.2 -c:v dnxhd "
                                   "-b:v 36M -pix_fmt yuv422p");
        makeSource(src("black.avi"), "color=c=black:s=160x120:r=10:d=1 -c:v mpeg4");
        QVERIFY(writeFile(src("garbage.avi"), QByteArray(5000, 'k')) &&
                writeFile(src("Video: b, c, 999x777, 1.avi"), QByteArray(5000, 'k')));
        QVERIFY(writeFile(src("rgb.txt"), "! test table\n300 0 0\t\tbad red\n1 2 x\t\tbroken\n"
                                          "10 20\t\tshort\n"));
        plainFrame = drawn({}, "null");
        QCOMPARE(plainFrame.size(), 160 * 120 * 3);
    }

    // "SOURCE OPTIONS => VIDEO AUDIO" as described() puts them (MP3: nearest, lower on a tie).
    void encode_data()
    {
        QTest::addColumn<QString>("entry");
        QStringList rows = {
            "av.avi -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 => 400x300@24 22050/1/64",
            "av.avi -s 240x135 -r 25 -ar 44100Hz -ab 24k -ac 2 => 240x135@25 44100/2/32",
            "av.avi -s 400x225 -r 15 -ar 11025Hz -ab 160k -ac 1 => 400x225@15 11025/1/64",
            "av.avi -s 160x120 -r 8 -ar 11025Hz -ab 80k -ac 2 => 160x120@8 11025/2/64",
            "av.avi -s 768x576 -r 30 -ar 22050Hz -ab 152k -ac 1 => 768x576@30 22050/1/144",
            "video.mp4 -s 320x180 -r 24 -ar 22050Hz -ab 64k -ac 1 => 320x180@24 -",
            "audio.wav -s 400x300 -r 24 -ar 44100Hz -ab 128k -ac 2 => - 44100/2/128",
            "audiofirst.flv -s 512x288 -r 24 -ar 22050Hz -ab 48k -ac 1 => 512x288@24 22050/1/48"};
        for (const char* size : {"240x180", "320x180", "320x240", "512x384", "640x360", "640x480",
                                 "768x432"}) // the window's other frame sizes
            rows << QString("av.avi -s %1 -r 12 -an => %1@12 -").arg(size);
        for (const QString& entry : rows)
            QTest::newRow(qPrintable(entry)) << entry;
    }

    void encode()
    {
        QFETCH(QString, entry);
        QStringList args = entry.section(" => ", 0, 0).split(' ');
        QTemporaryDir outDir;
        const QString source = src(args.takeFirst()), out = outDir.filePath("out.flv");
        const Result r = run(QStringList{"-i", source, "-b", "225kb/s"} + args + QStringList{out});
        // The progress the window reads comes through on the error output.
        QVERIFY2(r.code == 0 && r.err.contains("Duration: 00:00:0") &&
                     r.err.contains("time=00:00:0") && r.err.contains('\r'),
                 r.err.constData());
        QCOMPARE(described(out), entry.section(" => ", 1));
        QCOMPARE(listing(outDir.path()) + listing(sandbox()), QSet<QString>{"out.flv"});
        // MP3 padding and the last frame's time at a low rate add a little.
        const double duration = probe(out)["duration"].toString().toDouble();
        QVERIFY(qAbs(duration - probe(source)["duration"].toString().toDouble()) < 0.4);
        // FFmpeg went back to fill in the header's duration and size.
        const QJsonObject meta = QJsonDocument::fromJson(run({"-j", out}, "flvmeta").out).object();
        QVERIFY(meta["filesize"].toInteger() == QFileInfo(out).size() &&
                qAbs(meta["duration"].toDouble() - duration) < 0.1);
    }

    void stills()
    {
        // Source, number asked, size, number written.
        for (const QString entry :
             {"av.avi 10 400x300 10", "video.mp4 1 240x135 1", "three.avi 10 160x120 3"}) {
            const QStringList f = entry.split(' ');
            QTemporaryDir out;
            const Result r =
                run({"-i", src(f[0]), "-s", f[2], "-vframes", f[1], out.filePath("cover%d.jpg")});
            QSet<QString> expected;
            for (int n = 1; n <= f[3].toInt(); ++n)
                expected << QString("cover%1.jpg").arg(n);
            QVERIFY2(r.code == 0 && listing(out.path()) == expected, r.err.constData());
            QCOMPARE(described(out.filePath("cover1.jpg")).section('@', 0, 0), "mjpeg " + f[2]);
            // Consecutive frames of a moving picture differ.
            QVERIFY(f[3] == "1" ||
                    readAll(out.filePath("cover1.jpg")) != readAll(out.filePath("cover2.jpg")));
        }
    }

    // "SOURCE => SIZE THE WINDOW READS (- for none) | LINES OF THE REPORT".
    void probeReport()
    {
        const QString wav = " => -|Stream #0.0: Audio: pcm_s16le, 44100 Hz, stereo";
        for (const QString& entry : QStringList{
                 "audio.wav" + wav, "x: Video: b, 999x777, c.wav" + wav,
                 "av.avi => 320x240|Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25.00 fps(r)|"
                 "Stream #0.1: Audio: mp3, 48000 Hz, mono",
                 "video.mp4 => 176x144|Stream #0.0: Video: h264, yuv420p, 176x144, 30.00 fps(r)",
                 "audiofirst.flv => 240x180|Stream #0.0: Audio: mp3, 22050 Hz, mono|"
                 "Stream #0.1: Video: flv1, yuv420p, 240x180, 12.00 fps(r)",
                 // A lower-case "x" in the codec name would spoil the window's reading.
                 "dnx.mov => 1920x1080|Stream #0.0: Video: DNXHD, yuv422p, 1920x1080, 25.00"}) {
            QStringList expected = entry.section(" => ", 1).split('|') << "  Duration: 00:00:0";
            const Result r = run({"-i", src(entry.section(" => ", 0, 0))});
            // Code 1, as no output was named.
            QVERIFY2(r.code == 1 && sizeRead(r.out + r.err) == expected.takeFirst(),
                     qPrintable(entry));
            for (const QString& line : expected)
                QVERIFY2(r.err.contains(line.toUtf8()), r.err.constData());
        }
    }

    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : TestSupport::Corpus("hostile-names.txt") +
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
        QVERIFY(QDir(base.path()).mkpath(o) && QDir(base.path()).mkpath("in") &&
                QFile::copy(src("three.avi"), in));
        Result r =
            run({"-i", in, "-b", "225kb/s", "-s", "160x120", "-r", "10", base.filePath(flv)});
        QVERIFY2(r.code == 0 && described(base.filePath(flv)) == "160x120@10 -", r.err.constData());
        r = run({"-i", in, "-s", "160x120", "-vframes", "2", base.filePath(o + "/cover%d.jpg")});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(sizeRead(run({"-i", name}, {}, base.filePath("in")).err), "160x120");
        QCOMPARE(listing(base.path()) + listing(sandbox()),
                 (QSet<QString>{"in", "in/" + name, "out", o, flv, o + "/cover1.jpg",
                                o + "/cover2.jpg"}));
    }

    // "OPTION VALUE => COLOUR DRAWN (RRGGBBAA)", the option changing the
    // default watermark: yellow DejaVu Sans 20 at (20, 40) saying "Sample".
    void watermark_data()
    {
        QTest::addColumn<QString>("entry");
        for (const QString& text : TestSupport::Corpus("hostile-texts.txt"))
            QTest::newRow(qPrintable("-t " + text.left(30))) << "-t " + text + " => FFFF00FF";
        // Colour names are compared without case and blanks; in a table, the
        // first good line wins. Font paths hold what the filter graph reacts to.
        for (const char* entry :
             {"-c Navy Blue => 000080FF", "-c LIGHTsteelBLUE => B0C4DEFF", "-A 128 => FFFF0080",
              "-x 59.5 => FFFF00FF", "-y -5 => FFFF00FF", "-F DejaVu/36 => FFFF00FF",
              "-c mymixedCOLOUR => 0A141EFF", "-F my fonts/Deja Vu.ttf/20 => FFFF00FF",
              "-F c:fonts/a:b.ttf/20 => FFFF00FF", "-F it's [x]/q'\\,;%{pts}.ttf/20 => FFFF00FF"})
            QTest::newRow(entry) << QString(entry);
    }

    void watermark()
    {
        QFETCH(QString, entry);
        QMap<QString, QString> o = {{"-c", "yellow"}, {"-F", "DejaVu/20"}, {"-A", "255"},
                                    {"-x", "20"},     {"-y", "40"},        {"-t", "Sample"}};
        o[entry.left(2)] = entry.mid(3).section(" => ", 0, 0);
        QTemporaryDir files; // this row's colour table, font file and text file
        const QString font = files.filePath(o["-F"].section('/', 0, -2)),
                      size = o["-F"].section('/', -1), text = files.filePath("text");
        QVERIFY(QDir().mkpath(QFileInfo(font).path()) && QFile::copy(dejaVu, font) &&
                writeFile(text, o["-t"].toUtf8()) &&
                writeFile(files.filePath("rgb.txt"),
                          readAll(colourTable) + "300 0 0\t\tmy mixed colour\n  10 20 30\t\t My  "
                                                 "Mixed Colour  \r\n40 50 60\t\tmymixedcolour\n"));
        const QByteArray frame =
            drawn(QString("imlib2.dll -c %1 -F %2/%3 -C %4 -A %5 -x %6 -y %7 -t %8")
                      .arg(o["-c"], font, size, files.filePath("rgb.txt"), o["-A"], o["-x"],
                           o["-y"], o["-t"]));
        QVERIFY(frame.size() == plainFrame.size() && frame != plainFrame &&
                frame == drawn({}, QString("drawtext=fontfile=%1:textfile=%2:expansion=none:"
                                           "fontsize=%3:fontcolor=0x%4:x=%5:y=%6")
                                       .arg(dejaVu, text, size, entry.section(" => ", 1), o["-x"],
                                            o["-y"])));
    }

    void helpAndVersion()
    {
        const Result help = run({"--help"}), version = run({"-i", "x.avi", "--version"});
        QVERIFY(help.code == 0 && help.out.startsWith("Usage: ffmpeg -i SOURCE") &&
                help.err.isEmpty());
        QVERIFY(version.code == 0 &&
                version.out == "ffmpeg (Kestrel encoder front-end) " KESTREL_VERSION "\n");
    }

    // "LACKS|BODY|ARGS => CODE or WORDS": ARGS run beside an older file with a
    // stand-in FFmpeg running BODY, without the lines matching LACKS in its
    // lists. A bad job, or one needing a part FFmpeg lacks, is refused in one
    // line holding WORDS; else FFmpeg's CODE comes through.
    void failures_data()
    {
        QTest::addColumn<QString>("entry");
        // Command lines refused before any source is read.
        const QString none = "^$||-i|/nonexistent.avi";
        QStringList rows = {"^$|| => -i"};
        for (const QString& row :
             QString("|-vcodec|h264|@OUT => -vcodec;|@OUT|-b => -b;|-b|225|@OUT => -b;"
                     "|-s|400|@OUT => -s;|-r|fast|@OUT => -r;|-ar|48000Hz|@OUT => -ar;"
                     "|-ac|3|@OUT => -ac;|-ab|lots|@OUT => -ab;|-vframes|2|cover.jpg => %d;"
                     "|-an|/tmp => folder;|a.flv|b.flv => b.flv;|-vhook|imlib2.dll -c red -t a|"
                     "@OUT => -F;|-vhook|/x/vhook/ppm.dll -t a|@OUT => ppm.dll")
                 .split(';'))
            rows << none + row;
        for (const char* count : {"0", "ab", "-2", "+3", "1."})
            rows << none + QString("|-vframes|%1|c%d.jpg => -vframes").arg(count);
        // Values of any length get the same one line.
        const QString n(100000, '1');
        for (const QString& value : {"-b|" + n + "kb/s", "-s|" + n + "x1", "-r|" + n, "-r|1." + n,
                                     "-ar|" + n + "Hz", "-ab|" + n + "k", "-vframes|" + n})
            rows << none + "|" + value + "|@OUT => " + value.section('|', 0, 0);
        rows << none + "|-vhook|imlib2.dll -x " + n + "|@OUT => -x";
        // The watermark's font, colour table and colour must all be good.
        const QString badMark =
            none + "|-vhook|imlib2.dll -c %1 -F %2 -C @FILES/rgb.txt -x %3 -t a|@OUT => %4";
        for (const QString& row :
             QString("yellow,/nonexistent/font.ttf/20,1,font file;yellow,/usr/share/fonts/20,1,"
                     "font file;yellow,/x/-F x/-C y -t z.ttf/20,1,-F;yellow,@FONT/big,1,-F;yellow,"
                     "@FONT/20,10+w,-x;nosuchcolour,@FONT/20,1,nosuchcolour;bad red,@FONT/20,1,"
                     "bad red;broken,@FONT/20,1,broken;short,@FONT/20,1,short")
                 .split(';'))
            rows << badMark.arg(row.section(',', 0, 0), row.section(',', 1, 1),
                                row.section(',', 2, 2), row.section(',', 3));
        rows << none + "|-vhook|imlib2.dll -c red -F @FONT/9 -C /x/rgb.txt -t a|@OUT => table";
        const QString encode = "|-i|@SRC" + options + "@OUT",
                      stills = "|-i|@SRC|-vframes|2|@DIR/c%d.jpg",
                      mark = "|-vhook|imlib2.dll -c red -F @FONT/9 -C @TABLE -t a",
                      real = "|exec ffmpeg \"$@\"",
                      stop = "sleep 9 & trap 'kill $!; printf half >\"$OUT\"; exit 5' TERM INT; "
                             "kill -%1 $PPID; wait; touch not-stopped";
        rows += QStringList{
            "E flv " + real + encode + " => no flv muxer; install Debian's ffmpeg package",
            "(codec flv1)" + real + encode + " => no flv1 (Sorenson H.263) encoder",
            "libmp3lame" + real + encode + " => no libmp3lame encoder (it needs libmp3lame)",
            "^-fps_mode " + real + encode +
                " => no -fps_mode option (it needs FFmpeg 5.1 or later)",
            "drawtext" + real + encode + mark + " => no drawtext filter (it needs libfreetype); in",
            "E image2 " + real + stills + " => no image2 muxer",
            "mjpeg" + real + stills + " => no mjpeg encoder",
            "libmp3lame" + real + "|-i|@SRC|-an|@OUT => 0", "drawtext" + real + encode + " => 0",
            "mjpeg" + real + encode + " => 0",
            "^$|printf half > \"$OUT\"; exit 3" + encode + " => 3",
            "^$|printf half > \"$OUT\"; kill -KILL $$" + encode + " => 137",
            "^$|printf 'FLV\\001\\005\\0\\0\\0\\011' > \"$OUT\"" + encode + " => 1",
            "^$|exit 0" + stills + " => 1", "^$|kill -KILL $$" + stills + " => 137",
            // A stop: the front-end passes the signal on, and ends with 128 + it.
            "^$|" + stop.arg("TERM") + encode + " => 143",
            "^$|" + stop.arg("INT") + stills + " => 130",
            // A killed front-end (a crash, -1) takes along even a stand-in deaf to signals.
            "^$|trap '' TERM INT HUP; kill -KILL $PPID; sleep 60" + encode + " => -1"};
        // Sources that cannot be used: FFmpeg's message names them.
        for (const QString name : {"missing.avi", "garbage.avi", "Video: b, c, 999x777, 1.avi"})
            for (const QString& job : QStringList{options + "@OUT", "|-vframes|3|@DIR/c%d.jpg", ""})
                rows << "^$" + real + "|-i|@FILES/" + name + job + " => ?" + name.section(':', -1);
        rows << "^$" + real + "|-i|@FILES/audio.wav|-vframes|3|@DIR/c%d.jpg => 1";
        for (const QString& entry : rows) // named by the result, the stand-in and the job
            QTest::newRow(qPrintable(entry.section(" => ", 1).left(30) + " <- " +
                                     entry.section('|', 0, 1).left(16) +
                                     entry.section('|', 2).remove("-i|/nonexistent.avi").left(70)))
                << entry;
    }

    void failures()
    {
        QFETCH(QString, entry);
        const QString result = entry.section(" => ", 1), args = entry.section('|', 2);
        const QString fake = fakeEncoder(dir.filePath(QString::number(qHash(entry))),
                                         entry.section('|', 1, 1), entry.section('|', 0, 0));
        const Result r =
            runBeside(args.section(" => ", 0, 0), environment({"KESTREL_FFMPEG=" + fake}));
        QVERIFY(gone(fake)); // the stand-in has ended
        bool isCode = false;
        if (const int code = result.toInt(&isCode); isCode)
            QVERIFY2(r.code == code, r.err.constData());
        else if (result.startsWith('?')) // FFmpeg's failure; a probe's report gives no frame size
            QVERIFY2(r.code > 0 && r.err.contains(result.mid(1).toUtf8()) &&
                         (args.count('|') > 1 || sizeRead(r.err) == "-"),
                     r.err.constData());
        else
            QVERIFY2(refused(r, result.toUtf8()), r.err.left(300).constData());
    }

    // FFmpeg is asked what it offers once per program file, and asked again
    // when the file changes; a cache that cannot be written costs only that.
    void partsAskedOnce()
    {
        const QString fake = fakeEncoder(src("counted"), "exec ffmpeg \"$@\"");
        QTemporaryDir cache;
        QStringList env = {"KESTREL_FFMPEG=" + fake, "XDG_CACHE_HOME=" + cache.path()};
        const QStringList args = {"-i", src("av.avi"), "-vframes", "1", cache.filePath("c%d.jpg")};
        auto askedAfterRun = [&] {
            return run(args, {}, {}, environment(env)).code == 0 ? readAll(fake + ".asked").size()
                                                                 : -1;
        };
        QCOMPARE(askedAfterRun(), 4); // one question for each of the four lists
        QCOMPARE(askedAfterRun(), 4);
        fakeEncoder(fake, "exec ffmpeg \"$@\" # changed");
        QCOMPARE(askedAfterRun(), 8);
        QCOMPARE(askedAfterRun(), 8);
        QCOMPARE(listing(cache.path()).values().filter("ffmpeg-parts").size(), 1);
        env[1] = "XDG_CACHE_HOME=" + fake; // not a folder
        QCOMPARE(askedAfterRun(), 12);
        // Two runs at once, neither finding an answer kept.
        env[1] = "XDG_CACHE_HOME=" + cache.filePath("new");
        QProcess a, b;
        for (QProcess* p : {&a, &b}) {
            p->setProcessEnvironment(environment(env));
            p->start(frontEnd, args);
        }
        QVERIFY(a.waitForFinished() && b.waitForFinished() && a.exitCode() + b.exitCode() == 0);
    }

    // The real encoder is never the front-end itself, whatever the PATH says.
    void findsTheRealEncoder()
    {
        QTemporaryDir links;
        QVERIFY(QFile::link(frontEnd, links.filePath("ffmpeg")) &&
                QFile::link(frontEnd, links.filePath("ffprobe")));
        const QString app = QFileInfo(frontEnd).path();
        for (const QString& path :
             {app + ":/usr/bin", links.path() + ":/usr/bin", app + ":" + links.path()}) {
            const bool works = path.endsWith("/usr/bin");
            const QProcessEnvironment env = environment({"PATH=" + path});
            QCOMPARE(runBeside("-i|@SRC" + options + "@DIR/o.flv", env).code == 0, works);
            const Result r = run({"-i", src("av.avi")}, {}, {}, env);
            QVERIFY(works ? sizeRead(r.err) == "320x240"
                          : refused(r, "not found on the PATH (install Debian's ffmpeg package"));
        }
        QVERIFY(refused(
            runBeside("-i|@SRC" + options + "@OUT", environment({"KESTREL_FFMPEG=" + frontEnd})),
            "KESTREL_FFMPEG"));
    }

    // SIGKILL at several moments of each job, with unnamed scratch files and with
    // named ones; the source's name holds "%", so each job also makes a link.
    void killedAnyTime()
    {
        const QString encode =
            "|-s|640x480|-vhook|imlib2.dll -c red -F @FONT/9 -C @TABLE -t %|@OUT";
        for (const QString& job : QStringList{encode, "|-vframes|40|@DIR/c%d.jpg", ""})
            for (const QString named : {"", "1"}) {
                QTemporaryDir work;
                QVERIFY(QFile::copy(src("av.avi"), work.filePath("s%d.avi")) &&
                        writeFile(work.filePath("out.flv"), "older file"));
                const QStringList args = resolved("-i|@DIR/s%d.avi" + job, work.path());
                const QProcessEnvironment env = environment({"KESTREL_SCRATCH_NAMED=" + named});
                for (int delay : {0, 50, 150, 400, 900}) {
                    QProcess p;
                    p.setProcessEnvironment(env);
                    p.start(frontEnd, args);
                    QVERIFY(p.waitForStarted());
                    QTest::qWait(delay);
                    if (const qint64 pid = p.processId()) // 0 once it has ended
                        ::kill(static_cast<pid_t>(pid), SIGKILL);
                    p.waitForFinished();
                    // Its FFmpeg, given the link in the runtime folder, dies with it.
                    QVERIFY(gone(sandbox()));
                    const QByteArray older = readAll(work.filePath("out.flv"));
                    QVERIFY2(older == "older file" || (job == encode && older.startsWith("FLV")),
                             qPrintable(job + named));
                    if (job == encode && named.isEmpty())
                        QCOMPARE(listing(work.path()), (QSet<QString>{"out.flv", "s%d.avi"}));
                }
                // The next run in that folder finds the leftovers and removes them.
                QCOMPARE(run(args, {}, {}, env).code, job.isEmpty() ? 1 : 0);
                QSet<QString> expected = {"out.flv", "s%d.avi"};
                for (int n = 1; job.contains("-vframes") && n <= 40; ++n)
                    expected << QString("c%1.jpg").arg(n);
                QCOMPARE(listing(work.path()) + listing(sandbox()), expected);
            }
    }
};

QTEST_GUILESS_MAIN(TestEncoder)
#include "test_encoder.moc"
