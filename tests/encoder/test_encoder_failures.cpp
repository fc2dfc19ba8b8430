// What goes wrong: refused command lines, bad sources, an encoder that fails,
// is killed or is stopped, and finding the real encoder. A failure never
// leaves a half file or replaces an older one.
#include "EncoderTestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

using namespace enc;

namespace
{

// True while process PID exists and is not a zombie.
bool alive(qint64 pid)
{
    const QByteArray stat = readAll(QString("/proc/%1/stat").arg(pid));
    if (stat.isEmpty())
        return false;
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.mid(close + 2, 1) != "Z";
}

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 300 && !condition(); ++i)
        QTest::qWait(100);
    return condition();
}

} // namespace

class TestEncoderFailures : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString source, audioOnly, garbage;
    const QStringList options = {"-b",  "225kb/s", "-s",  "160x120", "-r",  "10",
                                 "-ar", "22050Hz", "-ab", "32k",     "-ac", "1"};

    // A stand-in for the real encoder: a shell script with BODY, run with the
    // front-end's arguments; $OUT is the file it was asked to write.
    QString fakeEncoder(const QString& name, const QString& body)
    {
        const QString path = dir.filePath(name);
        writeFile(
            path,
            ("#!/bin/sh\nfor a; do last=$a; done\nOUT=${last#file:}\n" + body + "\n").toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    static QProcessEnvironment withEncoder(const QString& path)
    {
        QProcessEnvironment env = cleanEnvironment();
        env.insert("KESTREL_FFMPEG", path);
        return env;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        source = dir.filePath("source.avi");
        makeSource(source, "testsrc=size=160x120:rate=10:duration=1", "sine=r=22050:d=1",
                   {"-c:v", "mpeg4", "-c:a", "mp3", "-shortest"});
        audioOnly = dir.filePath("audio.wav");
        makeSource(audioOnly, "", "sine=r=22050:d=1");
        garbage = dir.filePath("garbage.avi");
        QVERIFY(writeFile(garbage, QByteArray(5000, 'k')));
    }

    void refusedCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("named"); // what the message must name
        const QString src = "/nonexistent.avi";
        QTest::newRow("nothing") << QStringList{} << QByteArray("-i");
        QTest::newRow("unknown option")
            << QStringList{"-i", src, "-vcodec", "h264", "o.flv"} << QByteArray("-vcodec");
        QTest::newRow("option without value")
            << QStringList{"-i", src, "o.flv", "-b"} << QByteArray("-b");
        QTest::newRow("bitrate without unit")
            << QStringList{"-i", src, "-b", "225", "o.flv"} << QByteArray("-b");
        QTest::newRow("size not WxH")
            << QStringList{"-i", src, "-s", "400", "o.flv"} << QByteArray("-s");
        QTest::newRow("rate not a number")
            << QStringList{"-i", src, "-r", "fast", "o.flv"} << QByteArray("-r");
        QTest::newRow("sample rate FLV cannot hold")
            << QStringList{"-i", src, "-ar", "48000Hz", "o.flv"} << QByteArray("-ar");
        QTest::newRow("three channels")
            << QStringList{"-i", src, "-ac", "3", "o.flv"} << QByteArray("-ac");
        QTest::newRow("audio bitrate junk")
            << QStringList{"-i", src, "-ab", "lots", "o.flv"} << QByteArray("-ab");
        QTest::newRow("stills count 0")
            << QStringList{"-i", src, "-vframes", "0", "c%d.jpg"} << QByteArray("-vframes");
        QTest::newRow("stills count ab")
            << QStringList{"-i", src, "-vframes", "ab", "c%d.jpg"} << QByteArray("-vframes");
        QTest::newRow("stills count -2")
            << QStringList{"-i", src, "-vframes", "-2", "c%d.jpg"} << QByteArray("-vframes");
        QTest::newRow("stills name without %d")
            << QStringList{"-i", source, "-vframes", "2", "cover.jpg"} << QByteArray("%d");
        QTest::newRow("output is a folder")
            << QStringList{"-i", src, "-an", "/tmp"} << QByteArray("folder");
        QTest::newRow("two outputs")
            << QStringList{"-i", src, "a.flv", "b.flv"} << QByteArray("b.flv");
        QTest::newRow("other vhook module")
            << QStringList{"-i", src, "-vhook", "/x/vhook/ppm.dll -t a", "o.flv"}
            << QByteArray("ppm.dll");
        QTest::newRow("vhook without font")
            << QStringList{"-i", src, "-vhook", "imlib2.dll -c red -t a", "o.flv"}
            << QByteArray("-F");
    }

    void refusedCommandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, named);
        QTemporaryDir work;
        const Result r = runFrontEnd(args, work.path());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1, r.err.constData());
        QVERIFY2(r.err.contains(named), r.err.constData());
        QVERIFY(listing(work.path()).isEmpty());
    }

    // Sources that cannot be used: the encoder's own message and a failure
    // code; an older output or still of the same name stays as it was.
    void badSources_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("src");
        for (const QString& kind : QStringList{"encode", "stills", "probe"}) {
            QTest::newRow(qPrintable(kind + " missing")) << kind << "missing.avi";
            QTest::newRow(qPrintable(kind + " unreadable")) << kind << "garbage.avi";
        }
        QTest::newRow("stills from audio only") << "stills"
                                                << "audio.wav";
    }

    void badSources()
    {
        QFETCH(QString, kind);
        QFETCH(QString, src);
        QTemporaryDir out;
        const QString older = out.filePath(kind == "stills" ? "cover1.jpg" : "out.flv");
        QVERIFY(writeFile(older, "older file"));
        QStringList args = {"-i", dir.filePath(src)};
        if (kind == "encode")
            args << options << older;
        else if (kind == "stills")
            args << "-s"
                 << "160x120"
                 << "-vframes"
                 << "3" << out.filePath("cover%d.jpg");
        const Result r = runFrontEnd(args);
        QVERIFY(r.code != 0 && !r.crashed);
        if (src != "audio.wav")
            QVERIFY2(r.err.contains(src.toUtf8()), r.err.constData());
        QVERIFY(!r.err.contains("Video:"));
        QCOMPARE(readAll(older), QByteArray("older file"));
        QCOMPARE(listing(out.path()), QSet<QString>{QFileInfo(older).fileName()});
    }

    // The real encoder misbehaves: its code comes through (or a failure of our
    // own when it claims success without a result), nothing is left behind.
    void encoderOutcomes_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("code");
        QTest::newRow("fails") << "printf half > \"$OUT\"; exit 3"
                               << "encode" << 3;
        QTest::newRow("killed") << "printf half > \"$OUT\"; kill -KILL $$"
                                << "encode" << 128 + SIGKILL;
        QTest::newRow("success without media")
            << "printf 'FLV\\001\\005\\000\\000\\000\\011' > \"$OUT\""
            << "encode" << 1;
        QTest::newRow("stills: success without files") << "exit 0"
                                                       << "stills" << 1;
        QTest::newRow("stills: killed") << "kill -KILL $$"
                                        << "stills" << 128 + SIGKILL;
    }

    void encoderOutcomes()
    {
        QFETCH(QString, body);
        QFETCH(QString, kind);
        QFETCH(int, code);
        QTemporaryDir out;
        const QString older = out.filePath(kind == "stills" ? "cover1.jpg" : "out.flv");
        QVERIFY(writeFile(older, "older file"));
        QStringList args = {"-i", source};
        if (kind == "encode")
            args << options << older;
        else
            args << "-vframes"
                 << "2" << out.filePath("cover%d.jpg");
        const Result r = runFrontEnd(
            args, {},
            withEncoder(fakeEncoder(QString("fake-%1").arg(QTest::currentDataTag()), body)));
        QCOMPARE(r.code, code);
        QCOMPARE(readAll(older), QByteArray("older file"));
        QCOMPARE(listing(out.path()), QSet<QString>{QFileInfo(older).fileName()});
    }

    // SIGTERM or SIGINT to the front-end stops the encoder too; a killed
    // front-end takes the encoder with it even when that ignores signals.
    void stopped_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<QString>("trap");
        QTest::newRow("SIGTERM") << int(SIGTERM) << "";
        QTest::newRow("SIGINT") << int(SIGINT) << "";
        QTest::newRow("SIGKILL, encoder deaf to signals") << int(SIGKILL) << "trap '' TERM INT HUP";
    }

    void stopped()
    {
        QFETCH(int, sig);
        QFETCH(QString, trap);
        QTemporaryDir out;
        const QString older = out.filePath("out.flv");
        QVERIFY(writeFile(older, "older file"));
        const QString pidFile = out.filePath("encoder.pid");
        const QString fake = fakeEncoder(QString("sleeper%1").arg(sig),
                                         trap + "\necho $$ > '" + pidFile + "'\nexec sleep 60");
        QProcess p;
        p.setProcessEnvironment(withEncoder(fake));
        p.start(frontEnd, QStringList{"-i", source} + options + QStringList{older});
        QVERIFY(p.waitForStarted());
        QVERIFY(waitFor([&] { return !readAll(pidFile).trimmed().isEmpty(); }));
        const qint64 encoderPid = readAll(pidFile).trimmed().toLongLong();
        QVERIFY(alive(encoderPid));
        ::kill(static_cast<pid_t>(p.processId()), sig);
        QVERIFY(p.waitForFinished(30000));
        QVERIFY(p.exitStatus() == QProcess::CrashExit || p.exitCode() != 0);
        QVERIFY(waitFor([&] { return !alive(encoderPid); }));
        if (sig != SIGKILL) {
            QCOMPARE(p.exitCode(), 128 + sig);
            QCOMPARE(listing(out.path()), (QSet<QString>{"out.flv", "encoder.pid"}));
        }
        QCOMPARE(readAll(older), QByteArray("older file"));
    }

    // A real encode stopped half-way leaves neither a file nor a scratch file.
    void stoppedRealEncode()
    {
        const QString longer = dir.filePath("longer.avi");
        makeSource(longer, "testsrc=size=160x120:rate=25:duration=60", "",
                   {"-c:v", "mpeg4", "-q:v", "20"});
        QTemporaryDir out;
        QProcess p;
        p.setProcessEnvironment(cleanEnvironment());
        p.start(frontEnd, {"-i", longer, "-b", "1200kb/s", "-s", "768x576", "-r", "30", "-an",
                           out.filePath("o.flv")});
        QVERIFY(p.waitForStarted());
        QByteArray status;
        QVERIFY(waitFor([&] {
            status += p.readAllStandardError();
            return status.contains("frame=") || p.state() != QProcess::Running;
        }));
        QVERIFY2(p.state() == QProcess::Running, "the encode ended before it could be stopped");
        p.terminate();
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
        QVERIFY(listing(out.path()).isEmpty());
    }

    // The real encoder is never the front-end itself, whatever the PATH says.
    void findsTheRealEncoder_data()
    {
        QTest::addColumn<QString>("path"); // ":"-separated; APP and LINK are placeholders
        QTest::addColumn<bool>("works");
        QTest::newRow("own folder first") << "APP:/usr/bin" << true;
        QTest::newRow("link to the front-end first") << "LINK:/usr/bin" << true;
        QTest::newRow("only the front-end") << "APP:LINK" << false;
    }

    void findsTheRealEncoder()
    {
        QFETCH(QString, path);
        QFETCH(bool, works);
        QTemporaryDir links;
        QVERIFY(QFile::link(frontEnd, links.filePath("ffmpeg")));
        QVERIFY(QFile::link(frontEnd, links.filePath("ffprobe")));
        path.replace("APP", QFileInfo(frontEnd).path()).replace("LINK", links.path());
        QProcessEnvironment env = cleanEnvironment();
        env.insert("PATH", path);
        QTemporaryDir out;
        Result r = runFrontEnd(
            QStringList{"-i", source} + options + QStringList{out.filePath("o.flv")}, {}, env);
        QCOMPARE(r.code == 0, works);
        r = runFrontEnd({"-i", source}, {}, env);
        QCOMPARE(windowReadsSize(r.err) == QSize(160, 120), works);
        if (!works)
            QVERIFY2(r.err.startsWith("ffmpeg: ") && r.err.contains("not found"),
                     r.err.constData());
    }

    void refusesItselfAsEncoder()
    {
        QTemporaryDir out;
        const Result r =
            runFrontEnd(QStringList{"-i", source} + options + QStringList{out.filePath("o.flv")},
                        {}, withEncoder(frontEnd));
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.startsWith("ffmpeg: "));
        QVERIFY(listing(out.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEncoderFailures)
#include "test_encoder_failures.moc"
