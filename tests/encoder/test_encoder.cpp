// The encoder front-end on real FFmpeg: the window's three command shapes, the
// hostile names and texts, and what goes wrong, up to a front-end killed at
// any moment; an older output stays as it was, and nothing else stays. The
// tables are the .txt files of this folder.
#include "pipeline/ProbeReport.h"
#include "tests/support/TestSupport.h"

#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

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

// The lines of the table NAME, less comments ("#").
QStringList tableLines(const QString& name)
{
    const QString text = QString::fromUtf8(readAll(ENCODER_TABLES "/" + name));
    if (text.isEmpty())
        qFatal("missing table %s", qPrintable(name));
    return text.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^[^#]"));
}

// The rows of the table NAME as the test data "entry"; "@EACH CORPUS = ROW"
// gives a ROW for each @ENTRY of tests/corpus/CORPUS.
void addRows(const QString& name)
{
    QTest::addColumn<QString>("entry");
    for (const QString& line : tableLines(name)) {
        const bool each = line.startsWith("@EACH ");
        for (const QString& e :
             each ? TestSupport::Corpus(line.section(' ', 1, 1)) : QStringList{line})
            QTest::newRow(qPrintable(each ? e.left(40) : e))
                << (each ? line.section(" = ", 1).replace("@ENTRY", e) : e);
    }
}

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

Result run(const QStringList& args, const QString& program = {}, const QString& workDir = {},
           const QProcessEnvironment& env = environment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(program.isEmpty() ? frontEnd : program, args);
    const bool ended =
        p.waitForStarted() && p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit;
    p.kill();
    p.waitForFinished();
    return {ended ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

// True when R is a refusal of the front-end's own: code 1 and one line
// "ffmpeg: ..." naming WHAT.
bool refused(const Result& r, const QByteArray& what)
{
    return r.code == 1 && r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1 &&
           r.err.contains(what);
}

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
// encoder other than flv1 at 225 kbit/s or MP3 is named in front (H.264 with
// its profile, pixel format and pixel shape).
QString described(const QString& path)
{
    auto f = [](const QJsonObject& o, const char* key) { return o[key].toVariant().toString(); };
    const QJsonObject v = probe(path, "video"), a = probe(path, "audio");
    QString codec = f(v, "codec_name");
    if (codec == "h264")
        codec +=
            ' ' +
            QStringList{f(v, "profile"), f(v, "pix_fmt"), f(v, "sample_aspect_ratio")}.join(' ');
    const QString video =
        QString("%1 %2x%3@%4 %5")
            .arg(codec, f(v, "width"), f(v, "height"), f(v, "r_frame_rate"), f(v, "bit_rate"))
            .replace("/1 225000", "")
            .remove(QRegularExpression("^flv1 "));
    const QString audio = QString("%1 %2/%3/%4")
                              .arg(f(a, "codec_name"), f(a, "sample_rate"), f(a, "channels"))
                              .arg(f(a, "bit_rate").toInt() / 1000.0)
                              .remove(QRegularExpression("^mp3 "));
    return (v.isEmpty() ? "-" : video) + " " + (a.isEmpty() ? "-" : audio);
}

QString sizeRead(const QByteArray& report)
{
    const std::optional<FrameSize> size = ParseProbeReport(report);
    return size ? QString("%1x%2").arg(size->width).arg(size->height) : "-";
}

QSet<QString> stillNames(const QString& first, int n, QSet<QString> also = {})
{
    for (int i = 1; i <= n; ++i)
        also << QString("%1%2.jpg").arg(first).arg(i);
    return also;
}

// True once no process (but zombies) has TEXT in its command line, within 30 s.
bool gone(const QString& text)
{
    for (int wait = 0; wait < 300; ++wait, QTest::qWait(100))
        if (run({"-f", QRegularExpression::escape(text)}, "pgrep").code == 1)
            return true;
    return false;
}

// A stand-in FFmpeg at PATH: it answers the lists of parts as Debian's ffmpeg
// does, minus the lines matching $LACKS, counting those questions in
// PATH.asked; else runs the shell code $BODY ($OUT: the file it is to write),
// or the real ffmpeg.
QString standIn(const QString& path)
{
    writeFile(path, R"(#!/bin/sh
case "$2" in -muxers|-encoders|-filters|-h) echo >>"$0.asked"; ffmpeg "$@" | grep -v -e "${LACKS:-^$}"; exit;; esac
for a; do last=$a; done; OUT=${last#file:}
[ -z "$BODY" ] || { eval "$BODY"; exit; }; exec ffmpeg "$@"
)");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestEncoder : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray plainFrame; // black.avi's first frame without a watermark
    // FFmpeg's own options for what the front-end does with -b 225kb/s -r 10, and a filter.
    const QStringList byFFmpeg = {"-b:v", "225k", "-fps_mode", "cfr", "-c:v", "flv1", "-vf"};
    QString src(const QString& name) const { return dir.filePath(name); }
    static QSet<QString> leftovers(const QString& dir) { return listing(dir) + listing(sandbox()); }

    // The first frame of black.avi encoded by PROGRAM (the front-end when empty)
    // with ARGS; empty when that failed or left a file.
    QByteArray drawn(const QStringList& args, const QString& program = {})
    {
        QTemporaryDir work;
        const QString out = work.filePath("out.flv");
        const QStringList all =
            QStringList{"-i", src("black.avi"), "-s", "160x120", "-r", "10", "-an"} + args << out;
        if (run(all, program, work.path()).code != 0 ||
            leftovers(work.path()) != QSet<QString>{"out.flv"})
            return {};
        return run({"-i", out, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                   "ffmpeg")
            .out;
    }

    // ARGS ("|"-separated) with @SRC, @FILES (our folder), @FONT, @TABLE (the
    // application's colour table), @APP (its folder), @FRONTEND, @LINKS (a folder
    // of links to the front-end named ffmpeg and ffprobe), @LONG (100,000 digits),
    // @DIR and @OUT standing for those.
    QStringList resolved(QString args, const QString& work)
    {
        args.replace("@SRC", src("av.avi")).replace("@FILES", dir.path()).replace("@FONT", dejaVu);
        args.replace("@TABLE", colourTable).replace("@OUT", work + "/out.flv");
        args.replace("@APP", QFileInfo(frontEnd).path()).replace("@FRONTEND", frontEnd);
        args.replace("@LINKS", src("links")).replace("@LONG", QString(100000, '1'));
        return args.replace("@DIR", work).split('|', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        for (const QString& row : tableLines("sources.txt")) {
            const Result r = run(QStringList{"-nostdin", "-v", "error", "-y"} +
                                     row.section(" <- ", 1).split(' ') +
                                     QStringList{"file:" + src(row.section(" <- ", 0, 0))},
                                 "ffmpeg");
            QVERIFY2(r.code == 0, r.err.constData());
        }
        QVERIFY(writeFile(src("garbage.avi"), QByteArray(5000, 'k')) &&
                writeFile(src("Video: b, c, 999x777, 1.avi"), QByteArray(5000, 'k')));
        QVERIFY(writeFile(src("rgb.txt"),
                          readAll(colourTable) + readAll(ENCODER_TABLES "/colours.txt")));
        QVERIFY(QDir(dir.path()).mkdir("links") && QFile::link(frontEnd, src("links/ffmpeg")) &&
                QFile::link(frontEnd, src("links/ffprobe")));
        // A stand-in puts a link to it in place of the stills folder.
        QVERIFY(QDir(dir.path()).mkdir("victim") && writeFile(src("victim/keep"), "x"));
        standIn(src("stand-in"));
        plainFrame = drawn(byFFmpeg + QStringList{"null"}, "ffmpeg");
        QCOMPARE(plainFrame.size(), 160 * 120 * 3);
    }

    void encode_data() { addRows("encode.txt"); }
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
        QCOMPARE(leftovers(outDir.path()), QSet<QString>{"out.flv"});
        // MP3 padding and the last frame's time at a low rate add a little.
        const double duration = probe(out)["duration"].toString().toDouble();
        QVERIFY(qAbs(duration - probe(source)["duration"].toString().toDouble()) < 0.4);
        // FFmpeg went back to fill in the header's duration and size.
        const QJsonObject meta = QJsonDocument::fromJson(run({"-j", out}, "flvmeta").out).object();
        QVERIFY(meta["filesize"].toInteger() == QFileInfo(out).size() &&
                qAbs(meta["duration"].toDouble() - duration) < 0.1);
        // H.264 holds to the bitrate asked even on a short noisy source (the
        // whole file, but for a header, is its video).
        QVERIFY(!entry.startsWith("noise") || QFileInfo(out).size() * 8 / duration < 1.2 * 225000);
    }

    void hostileNames_data()
    {
        addRows("names.txt");
        QTest::newRow("line breaks") << "a\rtime=00:59:59.00 b\nDuration: 01:00:00.00, c";
    }

    // NAME as the source's name, as a folder, and (with .flv added) as the
    // output's name in that folder; two stills of another size go into the same
    // folder. The probe is given the name relative to the working folder.
    void hostileNames()
    {
        QFETCH(QString, entry);
        const QString& name = entry;
        QTemporaryDir base;
        const QString o = "out/" + name, in = base.filePath("in/" + name),
                      flv = o + "/" + (name.endsWith(".flv") ? name : name + ".flv");
        QVERIFY(QDir(base.path()).mkpath(o) && QDir(base.path()).mkpath("in") &&
                QFile::copy(src("three.avi"), in));
        Result r =
            run({"-i", in, "-b", "225kb/s", "-s", "160x120", "-r", "10", base.filePath(flv)});
        QVERIFY2(r.code == 0 && described(base.filePath(flv)) == "160x120@10 -", r.err.constData());
        r = run({"-i", in, "-s", "80x60", "-vframes", "2", base.filePath(o + "/cover%d.jpg")});
        QVERIFY2(r.code == 0 && !r.err.contains("00:59:59") && !r.err.contains("01:00:00"),
                 r.err.constData()); // no line of FFmpeg's holds the name's line break
        const QString still = base.filePath(o + "/cover1.jpg");
        QVERIFY(QImage(still, "JPG").size() == QSize(80, 60) &&
                readAll(still) != readAll(base.filePath(o + "/cover2.jpg")));
        QCOMPARE(sizeRead(run({"-i", name}, {}, base.filePath("in")).err), "160x120");
        QCOMPARE(leftovers(base.path()),
                 stillNames(o + "/cover", 2, {"in", "in/" + name, "out", o, flv}));
    }

    void watermark_data() { addRows("watermark.txt"); }

    void watermark()
    {
        QFETCH(QString, entry);
        QMap<QString, QString> o = {{"-c", "yellow"}, {"-F", "DejaVu/20"}, {"-A", "255"},
                                    {"-x", "20"},     {"-y", "40"},        {"-t", "Sample"}};
        o[entry.left(2)] = entry.mid(3).section(" => ", 0, 0);
        QTemporaryDir files; // this row's font file and text file
        const QString font = files.filePath(o["-F"].section('/', 0, -2)),
                      size = o["-F"].section('/', -1), text = files.filePath("text");
        QVERIFY(QDir().mkpath(QFileInfo(font).path()) && QFile::copy(dejaVu, font) &&
                writeFile(text, o["-t"].toUtf8()));
        const QByteArray frame = drawn(
            {"-b", "225kb/s", "-vhook",
             QString("imlib2.dll -c %1 -F %2/%3 -C %4 -A %5 -x %6 -y %7 -t %8")
                 .arg(o["-c"], font, size, src("rgb.txt"), o["-A"], o["-x"], o["-y"], o["-t"])});
        const QString filter =
            QString("drawtext=fontfile=%1:textfile=%2:expansion=none:fontsize="
                    "%3:fontcolor=0x%4:x=%5:y=%6")
                .arg(dejaVu, text, size, entry.section(" => ", 1), o["-x"], o["-y"]);
        QVERIFY(frame.size() == plainFrame.size() && frame != plainFrame &&
                frame == drawn(byFFmpeg + QStringList{filter}, "ffmpeg"));
    }

    void helpAndVersion()
    {
        const Result help = run({"--help"}), version = run({"-i", "x.avi", "--version"});
        QVERIFY(help.code == 0 && help.out.startsWith("Usage: ffmpeg -i SOURCE") &&
                help.err.isEmpty() && version.code == 0 &&
                version.out == "ffmpeg (Kestrel encoder front-end) " KESTREL_VERSION "\n");
    }

    void failures_data() { addRows("failures.txt"); }
    void failures()
    {
        QFETCH(QString, entry);
        QTemporaryDir work;
        QVERIFY(writeFile(work.filePath("out.flv"), "older file"));
        QStringList args = resolved(entry.section(" => ", 0, 0), work.path());
        const QString program = args.value(0, "-").startsWith('-') ? frontEnd : args.takeFirst();
        const Result r =
            run(args, program, work.path(),
                environment({"KESTREL_FFMPEG=" + src("stand-in"), "XDG_CACHE_HOME=/dev/null"}));
        QVERIFY(gone(src("stand-in")) && listing(src("victim")) == QSet<QString>{"keep"});
        QVERIFY2(r.code == 0 || (leftovers(work.path()) == QSet<QString>{"out.flv"} &&
                                 readAll(work.filePath("out.flv")) == "older file"),
                 "a failure left something");
        const QString result = entry.section(" => ", 1), code = result.section(' ', 0, 0);
        if (result.startsWith("ffmpeg: ")) {
            QVERIFY2(refused(r, result.mid(8).toUtf8()), r.err.left(300).constData());
            return;
        }
        QVERIFY2(code == "+" ? r.code > 0 : r.code == code.toInt(), r.err.constData());
        const QByteArray said = r.err + "\nthe window reads " + sizeRead(r.out + r.err).toUtf8();
        for (const QString& words : result.section(' ', 1).split('|', Qt::SkipEmptyParts))
            QVERIFY2(said.contains(words.toUtf8()), r.err.constData());
    }

    // FFmpeg is asked what it offers once per program file, and asked again
    // when the file changes and before any refusal; a cache that cannot be
    // written, or holds anything but an answer, costs only the questions.
    void partsAskedOnce()
    {
        const QString fake = standIn(src("counted"));
        QTemporaryDir cache;
        QStringList env = {"KESTREL_FFMPEG=" + fake, "XDG_CACHE_HOME=" + cache.path(),
                           "LACKS=mjpeg"};
        const QStringList args = {"-i", src("av.avi"), "-vframes", "1", cache.filePath("c%d.jpg")};
        auto askedAfterRun = [&](int code) {
            return run(args, {}, {}, environment(env)).code == code
                       ? int(readAll(fake + ".asked").size())
                       : -1;
        };
        // One question for each of the four lists; a part missing is asked
        // about again, and found once it came (the file stays the same).
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
        env[1] = "XDG_CACHE_HOME=" + fake; // not a folder
        QCOMPARE(askedAfterRun(1), 24);
        QCOMPARE(listing(cache.path() + "/kestrel").size(), 1);
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
                for (const QString delay : {"0.001", "0.05", "0.15", "0.4", "0.9"}) {
                    // SIGKILL, unless it has ended; its FFmpeg, given the link
                    // in the runtime folder, dies with it.
                    run(QStringList{"-s", "KILL", delay, frontEnd} + args, "timeout", {}, env);
                    QVERIFY(gone(sandbox()));
                    const QByteArray older = readAll(work.filePath("out.flv"));
                    QVERIFY2(older == "older file" || (job == encode && older.startsWith("FLV")),
                             qPrintable(job + named));
                    if (job == encode && named.isEmpty())
                        QCOMPARE(listing(work.path()), (QSet<QString>{"out.flv", "s%d.avi"}));
                }
                // The next run in that folder finds the leftovers and removes them.
                QCOMPARE(run(args, {}, {}, env).code, job.isEmpty() ? 1 : 0);
                QCOMPARE(leftovers(work.path()), stillNames("c", job.contains("-vframes") ? 40 : 0,
                                                            {"out.flv", "s%d.avi"}));
            }
    }
};

QTEST_GUILESS_MAIN(TestEncoder)
#include "test_encoder.moc"
