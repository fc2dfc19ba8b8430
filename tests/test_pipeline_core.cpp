// The pure parts of a conversion: names, option strings, command lines, the
// splitter, the probe report and progress.
#include "common/CommandLine.h"
#include "options/EncoderOptions.h"
#include "options/OutputName.h"
#include "pipeline/Commands.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/ProbeReport.h"
#include "pipeline/Progress.h"
#include "pipeline/SystemError.h"
#include "pipeline/ToolRun.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <csignal>

class TestPipelineCore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::IsolateProcess(); }
    void proposeOutputName_data();
    void proposeOutputName();
    void cornerRule_data();
    void cornerRule();
    void encoderOptions_data();
    void encoderOptions();
    void commandLines();
    void splitter_data();
    void splitter();
    void escapedTextsSplitBackExactly();
    void probeReport_data();
    void probeReport();
    void progress();
    void systemError();
    void shortName();
    void processRunner_data();
    void processRunner();
};

void TestPipelineCore::proposeOutputName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("proposal"); // "-" = none
    for (const auto& [t, p] : QList<QPair<QString, QString>>{{"clip.avi", "clip.flv"},
                                                             {"clip.MPEG", "clip.flv"},
                                                             {"Clip.DivX", "Clip.flv"},
                                                             {"clip.mpg", "clip.flv"},
                                                             {"clip.flv", "clip.flv"},
                                                             {"a.ts", "aflv"},
                                                             {"movie", "moflv"},
                                                             {"abc", "flv"},
                                                             {"x.mpeg2", "x.mpflv"},
                                                             {"ab", "-"},
                                                             {"mpeg", "flv"}})
        QTest::newRow(qPrintable(t)) << t << p;
}

void TestPipelineCore::proposeOutputName()
{
    QFETCH(QString, title);
    QFETCH(QString, proposal);
    const auto result = ProposeOutputName(title);
    QCOMPARE(result.value_or("-"), proposal);
}

void TestPipelineCore::cornerRule_data()
{
    QTest::addColumn<int>("corner");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    const int tl = int(Corner::TopLeft), tr = int(Corner::TopRight), bl = int(Corner::BottomLeft),
              br = int(Corner::BottomRight), none = int(Corner::None);
    QTest::newRow("400 right") << tr << 400 << 480 << "200"
                               << "10";
    QTest::newRow("401 right") << tr << 401 << 480 << "51"
                               << "10";
    QTest::newRow("640 right") << tr << 640 << 480 << "290"
                               << "10";
    QTest::newRow("320 right") << tr << 320 << 240 << "160"
                               << "10";
    QTest::newRow("399 right") << br << 399 << 480 << "199.5"
                               << "430";
    QTest::newRow("unknown size bottom") << bl << 0 << 0 << "10"
                                         << "-50";
    QTest::newRow("width 0 right") << br << 0 << 0 << "0"
                                   << "-50";
    QTest::newRow("top left ignores size") << tl << 1920 << 1080 << "10"
                                           << "10";
    QTest::newRow("no corner keeps typed") << none << 640 << 480 << "7"
                                           << "8";
}

void TestPipelineCore::cornerRule()
{
    QFETCH(int, corner);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, x);
    QFETCH(QString, y);
    const CornerTexts place = CornerRule(Corner(corner), qint16(width), qint16(height), "7", "8");
    QCOMPARE(place.left, x);
    QCOMPARE(place.top, y);
}

namespace
{

EncoderControls startControls()
{
    EncoderControls c;
    c.videoBitrate = "225";
    c.videoWindow = "400x300";
    c.videoFrameRate = "24";
    c.audioSampling = "22050";
    c.audioBitrate = "64";
    c.audioChannel = "Mono";
    return c;
}

} // namespace

void TestPipelineCore::encoderOptions_data()
{
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("variant");
    QTest::newRow("start values") << " -b 225kb/s -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 "
                                  << "";
    QTest::newRow("no audio") << " -b 225kb/s -s 400x300 -r 24 -an "
                              << "noaudio";
    QTest::newRow("stereo") << " -b 225kb/s -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 2 "
                            << "stereo";
    QTest::newRow("lower-case stereo is mono")
        << " -b 225kb/s -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 "
        << "lowerstereo";
    QTest::newRow("watermark, Windows folders")
        << " -b 225kb/s -s 400x300 -r 24  -vhook \"C:\\APPS\\CONV\\vhook\\imlib2.dll -c yellow "
           "-F C:\\WINDOWS\\fonts\\arial.ttf/20 -C C:\\APPS\\CONV\\vhook\\rgb.txt -A 255 -x 290 "
           "-y 10 -t Sample\" -ar 22050Hz -ab 64k -ac 1 "
        << "watermark";
    QTest::newRow("watermark text with quote and closing backslash")
        << " -b 225kb/s -s 400x300 -r 24  -vhook \"C:\\APPS\\CONV\\vhook\\imlib2.dll -c yellow "
           "-F C:\\WINDOWS\\fonts\\arial.ttf/20 -C C:\\APPS\\CONV\\vhook\\rgb.txt -A 255 -x 290 "
           "-y 10 -t say \\\"hi\\\" \\\\\" -ar 22050Hz -ab 64k -ac 1 "
        << "quote";
}

void TestPipelineCore::encoderOptions()
{
    QFETCH(QString, expected);
    QFETCH(QString, variant);
    EncoderControls c = startControls();
    c.disableAudio = variant == "noaudio";
    if (variant == "stereo")
        c.audioChannel = "Stereo";
    if (variant == "lowerstereo")
        c.audioChannel = "stereo";
    if (variant == "watermark" || variant == "quote") {
        c.watermark = true;
        c.colorName = "yellow";
        c.fontFileName = "arial.ttf";
        c.fontSize = "20";
        c.left = "290";
        c.top = "10";
        c.watermarkText = variant == "quote" ? "say \"hi\" \\" : "Sample";
    }
    const QString options = ComposeEncoderOptions(c, {"C:\\APPS\\CONV", "C:\\WINDOWS", u'\\'});
    QCOMPARE(options, expected);
    QCOMPARE(ComposeEncoderOptions(c, {"C:\\APPS\\CONV", "C:\\WINDOWS", u'\\'}), options);
    if (c.watermark) {
        // The watermark module sees the exact text as the end of one argument.
        const QStringList argv = SplitCommandLine("ffmpeg -i x" + options + "y.flv");
        QVERIFY(argv[argv.indexOf("-vhook") + 1].endsWith(" -t " + c.watermarkText));
    }
}

void TestPipelineCore::commandLines()
{
    const QString app = "C:\\PROGRA~1\\VIDEOT~1";
    const QString options = " -b 225kb/s -s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 ";
    QCOMPARE(BuildEncodeCommand(app, u'\\', "D:\\My Videos\\clip one.avi", options, "D:\\Out\\",
                                "clip one.flv"),
             QString("C:\\PROGRA~1\\VIDEOT~1\\ffmpeg -i \"D:\\My Videos\\clip one.avi\" -b 225kb/s "
                     "-s 400x300 -r 24 -ar 22050Hz -ab 64k -ac 1 \"D:\\Out\\clip one.flv\""));
    QCOMPARE(BuildInjectCommand(app, u'\\', "D:\\Out\\", "clip one.flv"),
             QString("C:\\PROGRA~1\\VIDEOT~1\\flvmdi \"D:\\Out\\clip one.flv\""));
    QCOMPARE(
        BuildStillsCommand(app, u'\\', "D:\\My Videos\\clip one.avi", "400x300", "10", "D:\\Out\\"),
        QString("C:\\PROGRA~1\\VIDEOT~1\\ffmpeg -i \"D:\\My Videos\\clip one.avi\" -s 400x300 "
                "-vframes 10 \"D:\\Out\\cover%d.jpg\""));
    QCOMPARE(BuildProbeLine("C:\\APPS", u'\\', "D:\\a b.avi", "C:\\APPS"),
             QString("C:\\APPS\\ffmpeg -i \"D:\\a b.avi\">C:\\APPS\\infile.txt 2>&1"));

    // Linux paths with the characters users really have in names.
    const QStringList argv = SplitCommandLine(BuildEncodeCommand(
        "/opt/k", u'/', "/v/say \"hi\" $(id).avi", options, "/out/a\\", "b\".flv"));
    QCOMPARE(argv.value(0), QString("/opt/k/ffmpeg"));
    QCOMPARE(argv.value(2), QString("/v/say \"hi\" $(id).avi"));
    QCOMPARE(argv.last(), QString("/out/a\\b\".flv"));
    QCOMPARE(argv.size(), 16);
}

void TestPipelineCore::splitter_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("argv");
    QTest::newRow("blanks separate") << "a  b\tc" << QStringList{"a", "b", "c"};
    QTest::newRow("quotes group") << "a \"b c\" d" << QStringList{"a", "b c", "d"};
    QTest::newRow("quote mid-word") << "a\"b c\"d" << QStringList{"ab cd"};
    QTest::newRow("escaped quote") << "a\\\"b" << QStringList{"a\"b"};
    QTest::newRow("two backslashes and quote") << "\"a\\\\\" b" << QStringList{"a\\", "b"};
    QTest::newRow("three backslashes and quote") << "a\\\\\\\"b" << QStringList{"a\\\"b"};
    QTest::newRow("backslashes alone are literal") << "C:\\a\\\\b" << QStringList{"C:\\a\\\\b"};
    QTest::newRow("empty quoted argument") << "a \"\" b" << QStringList{"a", "", "b"};
    QTest::newRow("leading and trailing blanks") << "  a  " << QStringList{"a"};
    QTest::newRow("unclosed quote runs to the end") << "a \"b c" << QStringList{"a", "b c"};
    QTest::newRow("only blanks") << "   " << QStringList{};
}

void TestPipelineCore::splitter()
{
    QFETCH(QString, line);
    QFETCH(QStringList, argv);
    QCOMPARE(SplitCommandLine(line), argv);
}

void TestPipelineCore::escapedTextsSplitBackExactly()
{
    QStringList texts = {"",     "plain",    "two words", "say \"hi\"", "ends with backslash\\",
                         "\\\"", "a\\\\\"b", "\\\\",      "\"",         "x\\ y\\\\ z"};
    texts += TestSupport::Corpus("hostile-names.txt") + TestSupport::Corpus("hostile-texts.txt");
    QVERIFY(texts.size() > 40);
    for (const QString& text : texts) {
        QCOMPARE(SplitCommandLine("prog " + Quoted(text) + " tail"),
                 (QStringList{"prog", text, "tail"}));
        if (!text.contains('"') && !text.endsWith('\\'))
            QCOMPARE(EscapeForQuotes(text), text);
    }
}

void TestPipelineCore::probeReport_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("width"); // -1: nothing found
    QTest::addColumn<int>("height");
    QTest::newRow("typical")
        << QByteArray("    Stream #0.0: Video: mpeg4, yuv420p, 320x240, 25.00 fps(r)\r\n") << 320
        << 240;
    QTest::newRow("four digits")
        << QByteArray("Stream #0.0: Video: h264, yuv420p, 1440x1080, 25.00 tb(r)\n") << 1440
        << 1080;
    QTest::newRow("PAR after size")
        << QByteArray("Stream #0.0: Video: mpeg4, yuv420p, 640x480 [PAR 1:1 DAR 4:3], 25 tbr\r")
        << 640 << 480;
    QTest::newRow("three-digit height, blank")
        << QByteArray("Stream #0.0: Video: mjpeg, yuvj420p, 128x96, 15.00 fps(r)\n") << 128 << 96;
    QTest::newRow("last line wins")
        << QByteArray("Stream #0.0: Video: a, b, 320x240, 1 fps\r\nStream #0.1: Video: a, b, "
                      "640x360, 1 fps\r\n")
        << 640 << 360;
    QTest::newRow("lower-case marker")
        << QByteArray("Stream #0.0: video: a, b, 320x240, 1\n") << -1 << -1;
    QTest::newRow("no third field") << QByteArray("Video: 320x240\n") << -1 << -1;
    QTest::newRow("two-digit width skipped")
        << QByteArray("Stream #0.0: Video: a, b, 96x64, 1 fps\n") << -1 << -1;
    QTest::newRow("no x") << QByteArray("Stream #0.0: Video: none\n") << -1 << -1;
    QTest::newRow("empty") << QByteArray() << -1 << -1;
}

void TestPipelineCore::probeReport()
{
    QFETCH(QByteArray, report);
    QFETCH(int, width);
    QFETCH(int, height);
    const auto size = ParseProbeReport(report);
    if (width < 0) {
        QVERIFY(!size);
        return;
    }
    QVERIFY(size);
    QCOMPARE(int(size->width), width);
    QCOMPARE(int(size->height), height);
}

void TestPipelineCore::progress()
{
    ProgressParser p;
    QVERIFY(!p.Percent());
    p.Feed("Input #0, avi, from 'x':\n  Duration: 00:01:40.00, start: 0.0");
    p.Feed("00, bitrate: 1 kb/s\nframe=   10 fps=0.0 q=2.0 size=  1kB time=00:00:");
    QVERIFY(!p.Percent()); // the status line is not complete yet
    QVERIFY(p.Feed("25.00 bitrate= 1kbits/s speed=1x\r"));
    QCOMPARE(p.DurationSeconds().value(), 100.0);
    QCOMPARE(p.Percent().value(), 25);
    QVERIFY(p.LastStatusLine().startsWith("frame=   10"));
    p.Feed("frame=  99 time=00:01:50.00 bitrate=1\r");
    QCOMPARE(p.Percent().value(), 100);
    QCOMPARE(ParseClock("01:02:03.5").value(), 3723.5);
    QVERIFY(!ParseClock("N/A"));
    QCOMPARE(RemainingText(25, 30), QString("1:30 left"));
}

void TestPipelineCore::systemError()
{
    QCOMPARE(DescribeSystemError(ENOENT), QString("No such file or directory"));
    QCOMPARE(DescribeSystemError(99999), QString());
}

void TestPipelineCore::shortName()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("with blank/and \"quote\""));
    const QString plain = dir.path();
    QCOMPARE(GetShortName(plain), plain);
    QCOMPARE(GetShortName(plain + "/missing"), QString());
    const QString spaced = plain + "/with blank/and \"quote\"";
    const QString link = GetShortName(spaced);
    QVERIFY(!link.isEmpty() && !link.contains(' ') && !link.contains('"'));
    QCOMPARE(QFileInfo(link).canonicalFilePath(), QFileInfo(spaced).canonicalFilePath());
    QCOMPARE(GetShortName(spaced), link); // made once
    // The link lives in the user's own folder, closed to others.
    const QFileInfo folder(QFileInfo(link).path());
    QCOMPARE(folder.permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
    QCOMPARE(GetWindowsDir(), QString("/usr/share"));
}

namespace
{

// The processes of a group that still run (zombies wait for their parent).
QStringList livingInGroup(qint64 group)
{
    QStringList living;
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        if (fields.size() > 3 && fields[3].toLongLong() == group && fields[1] != "Z")
            living << pid;
    }
    return living;
}

} // namespace

void TestPipelineCore::processRunner_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script"); // for sh -c
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("exitCode");
    QTest::addColumn<int>("systemError");
    const int exited = ToolOutcome::Exited;
    QTest::newRow("exit code passes") << "/bin/sh"
                                      << "echo hi; exit 3" << exited << 3u << 0;
    QTest::newRow("a crash is a failure")
        << "/bin/sh"
        << "kill -SEGV $$" << exited << 0x80000000u + SIGSEGV << 0;
    // The whole group ignores SIGTERM; the cancel ends it with SIGKILL.
    QTest::newRow("cancel of a program that ignores SIGTERM")
        << "/bin/sh"
        << "trap '' TERM; sleep 30 & echo started; wait" << int(ToolOutcome::Cancelled)
        << 0x80000000u + SIGKILL << 0;
    QTest::newRow("missing program") << "/nonexistent/ffmpeg"
                                     << "" << int(ToolOutcome::FailedToStart) << 0u << ENOENT;
    QTest::newRow("not executable") << QString(KESTREL_TEST_APP_DIR "/fonts.txt") << ""
                                    << int(ToolOutcome::FailedToStart) << 0u << EACCES;
}

void TestPipelineCore::processRunner()
{
    QFETCH(QString, program);
    QFETCH(QString, script);
    ToolRun::KillDelayMs() = 100;
    ToolRun runner;
    QSignalSpy finished(&runner, &ToolRunner::Finished);
    QByteArray output;
    connect(&runner, &ToolRunner::Output, this, [&](const QByteArray& chunk) {
        output += chunk;
        if (output.contains("started"))
            runner.Cancel();
    });
    runner.Start({program, "-c", script}, QString());
    QVERIFY(finished.wait(3000));
    const auto outcome = finished[0][0].value<ToolOutcome>();
    QTEST(int(outcome.kind), "kind");
    QTEST(outcome.kind == ToolOutcome::FailedToStart ? 0u : outcome.exitCode, "exitCode");
    QTEST(outcome.systemError, "systemError");
    QVERIFY(!outcome.Succeeded());
    // Nothing of the program's process group is left.
    if (outcome.kind != ToolOutcome::FailedToStart)
        QTRY_VERIFY_WITH_TIMEOUT(livingInGroup(runner.ProcessId()).isEmpty(), 500);
}

QTEST_GUILESS_MAIN(TestPipelineCore)
#include "test_pipeline_core.moc"
