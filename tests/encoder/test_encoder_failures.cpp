// What goes wrong: refused command lines and watermarks, bad sources, an
// FFmpeg that lacks a part, is not found, fails, is killed or is stopped, and
// a front-end killed at any moment. An older output stays as it was, and
// nothing else stays, at the latest once the next run has been in that folder.
#include "EncoderTestSupport.h"

#include <csignal>
#include <functional>

using namespace enc;

namespace
{

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 300 && !condition(); ++i)
        QTest::qWait(100);
    return condition();
}

// True while a process (not a zombie) has TEXT in its command line.
bool running(const QString& text)
{
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        const QByteArray stat = readAll("/proc/" + pid + "/stat");
        if (readAll("/proc/" + pid + "/cmdline").contains(text.toUtf8()) &&
            stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z")
            return true;
    }
    return false;
}

// A stand-in for the real encoder at PATH: a shell script that runs BODY with
// the front-end's arguments ($OUT: the file it was asked to write) and
// answers the lists of muxers, encoders, filters and options as Debian's
// ffmpeg does, minus the lines matching LACKS; it counts those in PATH.asked.
QString fakeEncoder(const QString& path, const QString& body, const QString& lacks = "^$")
{
    writeFile(path,
              ("#!/bin/sh\ncase \"$2\" in -muxers|-encoders|-filters|-h) echo >>\"$0.asked\"\n"
               "  ffmpeg \"$@\" | grep -v -e '" +
               lacks +
               "'; exit;; esac\n"
               "for a; do last=$a; done\nOUT=${last#file:}\n" +
               body + "\n")
                  .toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestEncoderFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    const QString options = "|-b|225kb/s|-s|160x120|-r|10|-ar|22050Hz|-ab|32k|-ac|1|";

    // ARGS ("|"-separated) with @SRC, @FILES (our folder), @FONT, @TABLE
    // (the application's colour table), @DIR and @OUT standing for those.
    QStringList resolved(QString args, const QString& work)
    {
        args.replace("@SRC", dir.filePath("source.avi")).replace("@FILES", dir.path());
        args.replace("@FONT", dejaVu).replace("@TABLE", colourTable);
        return args.replace("@DIR", work)
            .replace("@OUT", work + "/out.flv")
            .split('|', Qt::SkipEmptyParts);
    }

    // Runs ARGS in a fresh folder @DIR holding an older file @OUT. Unless the
    // job succeeded, nothing but @OUT may be there afterwards, unchanged, and
    // nothing in the sandbox: the code is -2 then.
    Result runBeside(const QString& args, const QProcessEnvironment& env = environment())
    {
        QTemporaryDir work;
        writeFile(work.filePath("out.flv"), "older file");
        Result r = run(resolved(args, work.path()), {}, work.path(), env);
        if (r.code != 0 &&
            (listing(work.path()) != QSet<QString>{"out.flv"} ||
             readAll(work.filePath("out.flv")) != "older file" || !leftInSandbox().isEmpty()))
            r.code = -2;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        makeSource(dir.filePath("source.avi"), "testsrc=size=320x240:rate=25:duration=3 "
                                               "sine=r=22050:d=3 -c:v mpeg4 -c:a mp3 -shortest");
        makeSource(dir.filePath("longer.avi"), "testsrc=size=160x120:rate=25:duration=30 -q:v 20");
        makeSource(dir.filePath("audio.wav"), "sine=r=22050:d=1");
        QVERIFY(writeFile(dir.filePath("garbage.avi"), QByteArray(5000, 'k')));
        QVERIFY(writeFile(dir.filePath("Video: b, c, 999x777, 1.avi"), QByteArray(5000, 'k')));
        QVERIFY(writeFile(dir.filePath("rgb.txt"), "! test table\n300 0 0\t\tbad red\n"
                                                   "1 2 x\t\tbroken\n10 20\t\tshort\n"));
        // FFmpeg's parts are known from now on, so kills land in the jobs themselves.
        QCOMPARE(runBeside("-i|@SRC|-vframes|1|@DIR/c%d.jpg").code, 0);
    }

    // "ARGUMENTS AFTER -i /nonexistent.avi => WHAT THE ONE LINE NAMES"
    void refusedCommandLines_data()
    {
        QTest::addColumn<QString>("spec");
        QStringList specs = {"|-vcodec|h264|@OUT => -vcodec",
                             "|@OUT|-b => -b",
                             "|-b|225|@OUT => -b",
                             "|-s|400|@OUT => -s",
                             "|-r|fast|@OUT => -r",
                             "|-ar|48000Hz|@OUT => -ar",
                             "|-ac|3|@OUT => -ac",
                             "|-ab|lots|@OUT => -ab",
                             "|-vframes|2|cover.jpg => %d",
                             "|-an|/tmp => folder",
                             "|a.flv|b.flv => b.flv",
                             "|-vhook|/x/vhook/ppm.dll -t a|@OUT => ppm.dll",
                             "|-vhook|imlib2.dll -c red -t a|@OUT => -F"};
        for (const char* count : {"0", "ab", "-2", "+3", "1."})
            specs << QString("|-vframes|%1|c%d.jpg => -vframes").arg(count);
        // Values of any length get the same one line.
        const QString n(100000, '1');
        for (const QString& value : {"-b|" + n + "kb/s", "-s|" + n + "x1", "-r|" + n, "-r|1." + n,
                                     "-ar|" + n + "Hz", "-ab|" + n + "k", "-vframes|" + n})
            specs << "|" + value + "|@OUT => " + value.section('|', 0, 0);
        specs << "|-vhook|imlib2.dll -x " + n + "|@OUT => -x";
        // The watermark's font, colour table and colour must all be good.
        const QString mark =
            "|-vhook|imlib2.dll -c %1 -F %2 -C @FILES/rgb.txt -x %3 -t a|@OUT => %4";
        for (const char* row :
             {"yellow,/nonexistent/font.ttf/20,1,font file",
              "yellow,/usr/share/fonts/20,1,font file", "yellow,/x/-F x/-C y -t z.ttf/20,1,-F",
              "yellow,@FONT/big,1,-F", "yellow,@FONT/20,10+w,-x",
              "nosuchcolour,@FONT/20,1,nosuchcolour", "bad red,@FONT/20,1,bad red",
              "broken,@FONT/20,1,broken", "short,@FONT/20,1,short"}) {
            const QStringList f = QString(row).split(',');
            specs << mark.arg(f[0], f[1], f[2], f[3]);
        }
        specs << "|-vhook|imlib2.dll -c red -F @FONT/9 -C /nonexistent/rgb.txt -t a|@OUT => table";
        QTest::newRow("nothing") << " => -i";
        for (const QString& spec : specs)
            QTest::newRow(qPrintable(spec.left(60))) << "-i|/nonexistent.avi" + spec;
    }

    void refusedCommandLines()
    {
        QFETCH(QString, spec);
        const Result r = runBeside(spec.section(" => ", 0, 0));
        QVERIFY2(refused(r, spec.section(" => ", 1).toUtf8()), r.err.left(300).constData());
    }

    void helpAndVersion()
    {
        Result r = run({"--help"});
        QVERIFY(r.code == 0 && r.out.startsWith("Usage: ffmpeg -i SOURCE") && r.err.isEmpty());
        r = run({"-i", "x.avi", "--version"});
        QVERIFY(r.code == 0 && r.out == "ffmpeg (Kestrel encoder front-end) " KESTREL_VERSION "\n");
    }

    // Sources that cannot be used: the encoder's message names them, the code
    // is a failure, and the window reads no frame size from the probe's report.
    void badSources()
    {
        for (const char* name : {"missing.avi", "garbage.avi", "Video: b, c, 999x777, 1.avi"})
            for (const QString& job :
                 QStringList{options + "@OUT", "|-vframes|3|@DIR/c%d.jpg", ""}) {
                const Result r = runBeside("-i|@FILES/" + QString(name) + job);
                QVERIFY2(r.code > 0 && r.err.contains(QString(name).section(':', -1).toUtf8()),
                         r.err.constData());
                QVERIFY(!job.isEmpty() || !sizeRead(r.err).isValid());
            }
        QCOMPARE(runBeside("-i|@FILES/audio.wav|-vframes|3|@DIR/c%d.jpg").code, 1);
    }

    // "LACKS|JOB => WORDS": a stand-in FFmpeg without the lines matching LACKS
    // in its lists refuses JOB with WORDS, or runs it when there are none.
    void missingParts_data()
    {
        QTest::addColumn<QString>("spec");
        const QString encode = options + "@OUT",
                      mark = "|-vhook|imlib2.dll -c red -F @FONT/9 -C @TABLE -t a";
        for (const QString& spec : QStringList{
                 "E flv |" + encode + " => no flv muxer; install Debian's ffmpeg package",
                 "(codec flv1)|" + encode + " => no flv1 (Sorenson H.263) encoder",
                 "libmp3lame|" + encode + " => no libmp3lame encoder (it needs libmp3lame)",
                 "libmp3lame|-an|@OUT => ",
                 "^-fps_mode |" + encode + " => no -fps_mode option (it needs FFmpeg 5.1 or later)",
                 "drawtext|" + encode + mark + " => no drawtext filter (it needs libfreetype); in",
                 "drawtext|" + encode + " => ", "mjpeg|" + encode + " => ",
                 "E image2 ||-vframes|1|@DIR/c%d.jpg => no image2 muxer",
                 "mjpeg||-vframes|1|@DIR/c%d.jpg => no mjpeg encoder"})
            QTest::newRow(qPrintable(spec.section('|', 0, 0) + spec.section(" => ", 1))) << spec;
    }

    void missingParts()
    {
        QFETCH(QString, spec);
        const QString named = spec.section(" => ", 1);
        const QString fake = fakeEncoder(dir.filePath(QString::number(qHash(spec))),
                                         "exec ffmpeg \"$@\"", spec.section('|', 0, 0));
        const Result r = runBeside("-i|@SRC|" + spec.section('|', 1).section(" => ", 0, 0),
                                   environment({"KESTREL_FFMPEG=" + fake}));
        QVERIFY2(named.isEmpty() ? r.code == 0 : refused(r, named.toUtf8()), r.err.constData());
    }

    // FFmpeg is asked what it offers once per program file, and asked again
    // when the file changes; a cache that cannot be written costs only that.
    void partsAskedOnce()
    {
        const QString fake = fakeEncoder(dir.filePath("counted"), "exec ffmpeg \"$@\"");
        QTemporaryDir cache;
        QStringList env = {"KESTREL_FFMPEG=" + fake, "XDG_CACHE_HOME=" + cache.path()};
        const QStringList args = {"-i", dir.filePath("source.avi"), "-vframes", "1",
                                  cache.filePath("c%d.jpg")};
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
            const Result r = run({"-i", dir.filePath("source.avi")}, {}, {}, env);
            QVERIFY(works ? sizeRead(r.err) == QSize(320, 240)
                          : refused(r, "not found on the PATH (install Debian's ffmpeg package"));
        }
        QVERIFY(refused(
            runBeside("-i|@SRC" + options + "@OUT", environment({"KESTREL_FFMPEG=" + frontEnd})),
            "KESTREL_FFMPEG"));
    }

    // "BODY OF THE STAND-IN|JOB => CODE": its code comes through, or a failure
    // of our own when it claims success without a result.
    void encoderOutcomes()
    {
        const QString stills = "|-vframes|2|@DIR/c%d.jpg";
        for (const QString& spec :
             QStringList{"printf half > \"$OUT\"; exit 3|" + options + "@OUT => 3",
                         "printf half > \"$OUT\"; kill -KILL $$|" + options + "@OUT => 137",
                         "printf 'FLV\\001\\005\\0\\0\\0\\011' > \"$OUT\"|" + options + "@OUT => 1",
                         "exit 0|" + stills + " => 1", "kill -KILL $$|" + stills + " => 137"}) {
            const QString fake =
                fakeEncoder(dir.filePath(QString::number(qHash(spec))), spec.section('|', 0, 0));
            const Result r = runBeside("-i|@SRC" + spec.section('|', 1).section(" => ", 0, 0),
                                       environment({"KESTREL_FFMPEG=" + fake}));
            QCOMPARE(r.code, spec.section(" => ", 1).toInt());
        }
    }

    // SIGTERM or SIGINT to the front-end stops the encoder too; a killed
    // front-end takes the encoder with it even when that ignores signals.
    void stopped()
    {
        for (int sig : {SIGTERM, SIGINT, SIGKILL}) {
            QTemporaryDir out;
            writeFile(out.filePath("out.flv"), "older file");
            const QString sleep = QString("sleep 59.%1").arg(sig); // a command line of its own
            const QString deaf = sig == SIGKILL ? "trap '' TERM INT HUP\n" : "";
            QProcess p;
            p.setProcessEnvironment(environment(
                {"KESTREL_FFMPEG=" + fakeEncoder(dir.filePath(sleep), deaf + "exec " + sleep)}));
            p.start(frontEnd, resolved("-i|@SRC" + options + "@OUT", out.path()));
            QVERIFY(waitFor([&] { return running(sleep); }));
            ::kill(static_cast<pid_t>(p.processId()), sig);
            QVERIFY(p.waitForFinished() && waitFor([&] { return !running(sleep); }));
            if (sig != SIGKILL)
                QCOMPARE(p.exitCode(), 128 + sig);
            QCOMPARE(listing(out.path()), QSet<QString>{"out.flv"});
            QCOMPARE(readAll(out.filePath("out.flv")), QByteArray("older file"));
        }
        // A real encode too, stopped half-way.
        QTemporaryDir out;
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(frontEnd,
                {"-i", dir.filePath("longer.avi"), "-s", "768x576", "-an", out.filePath("o.flv")});
        QByteArray status;
        QVERIFY(p.waitForStarted() && waitFor([&] {
                    status += p.readAllStandardError();
                    return status.contains("frame=") || p.state() != QProcess::Running;
                }));
        p.terminate();
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
        QVERIFY(listing(out.path()).isEmpty());
    }

    // SIGKILL at several moments of each job, with unnamed scratch files and
    // with the named ones of a filesystem that has none. The source's name
    // holds "%", so each job also links to it from the runtime folder.
    void killedAnyTime_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("named");
        const QString encode =
            "|-s|640x480|-vhook|imlib2.dll -c red -F @FONT/9 -C @TABLE -t %|@OUT";
        for (const QString named : {"", "1"}) {
            QTest::newRow(qPrintable("encode " + named)) << encode << named;
            QTest::newRow(qPrintable("stills " + named)) << "|-vframes|40|@DIR/c%d.jpg" << named;
            QTest::newRow(qPrintable("probe " + named)) << "" << named;
        }
    }

    void killedAnyTime()
    {
        QFETCH(QString, job);
        QFETCH(QString, named);
        QTemporaryDir work;
        QVERIFY(QFile::copy(dir.filePath("source.avi"), work.filePath("s%d.avi")));
        QVERIFY(writeFile(work.filePath("out.flv"), "older file"));
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
            // Its FFmpeg dies with it.
            QVERIFY(waitFor([&] { return !running(work.path()) && !running(sandbox("run")); }));
            const QByteArray older = readAll(work.filePath("out.flv"));
            QVERIFY(older == "older file" || (job.contains("-vhook") && older.startsWith("FLV")));
            if (job.contains("-vhook") && named.isEmpty())
                QCOMPARE(listing(work.path()), (QSet<QString>{"out.flv", "s%d.avi"}));
        }
        // The next run in that folder finds the leftovers and removes them.
        QCOMPARE(run(args, {}, {}, env).code, job.isEmpty() ? 1 : 0);
        QSet<QString> expected = {"out.flv", "s%d.avi"};
        for (int n = 1; job.contains("-vframes") && n <= 40; ++n)
            expected << QString("c%1.jpg").arg(n);
        QCOMPARE(listing(work.path()) + leftInSandbox(), expected);
    }
};

QTEST_GUILESS_MAIN(TestEncoderFailures)
#include "test_encoder_failures.moc"
