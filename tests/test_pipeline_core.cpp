// The window-free parts of a conversion: names, option strings, command
// lines, the splitter, the probe report, progress, paths and the process
// runner.
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
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace
{

// The states (R, S, T ...) of the processes of a group that still run;
// zombies, which only wait for their parent, are left out.
QByteArray groupStates(qint64 group)
{
    QByteArray states;
    for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        if (group > 0 && fields.size() > 3 && fields[3].toLongLong() == group && fields[1] != "Z")
            states += fields[1];
    }
    return states;
}

} // namespace

class TestPipelineCore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::IsolateProcess(); }
    void outputNameAndCorner();
    void commandLines();
    void splitter();
    void probeReport();
    void progress();
    void pathsAndErrors();
    void processRunner_data();
    void processRunner();
    void pauseAndCancel();
};

void TestPipelineCore::outputNameAndCorner()
{
    using TestSupport::CompareGoldenTable;
    CompareGoldenTable("output-names.txt",
                       [](const QString& title) { return ProposeOutputName(title).value_or("-"); });
    CompareGoldenTable("corners.txt", [](const QString& row) {
        const QStringList w = row.split(' ');
        const int corner =
            QStringList{"None", "TopLeft", "TopRight", "BottomLeft", "BottomRight"}.indexOf(w[0]);
        const CornerTexts place =
            CornerRule(Corner(corner), w[1].toShort(), w[2].toShort(), "7", "8");
        return place.left + ',' + place.top;
    });
}

// The encoder's options from the controls and the four command lines, on
// Windows-style paths with blanks.
void TestPipelineCore::commandLines()
{
    const QString app = "C:\\PROGRA~1\\VIDEOT~1", source = "D:\\My Videos\\clip one.avi";
    const QString out = "D:\\Out\\", name = "clip one.flv";
    TestSupport::CompareGoldenTable("command-lines.txt", [&](const QString& changes) {
        if (changes == "inject")
            return BuildInjectCommand(app, u'\\', out, name);
        if (changes == "stills")
            return BuildStillsCommand(app, u'\\', source, "400x300", "10", out);
        if (changes == "probe")
            return BuildProbeLine("C:\\APPS", u'\\', "D:\\a b.avi", "C:\\APPS");
        EncoderControls c = {"225", "400x300", "24",     false, "yellow", "arial.ttf", "20",  255,
                             "290", "10",      "Sample", false, "22050",  "64",        "Mono"};
        for (const QString& change : changes.split(';', Qt::SkipEmptyParts)) {
            const QString value = change.section('=', 1);
            c.audioChannel = change.startsWith("channel=") ? value : c.audioChannel;
            c.watermarkText = change.startsWith("text=") ? value : c.watermarkText;
            c.watermark |= change == "watermark";
            c.disableAudio |= change == "noaudio";
            c.format = change == "h264" ? FlvFormat::H264 : c.format;
        }
        const QString options = ComposeEncoderOptions(c, {app, "C:\\WINDOWS", u'\\'});
        // The watermark module sees the exact text as the end of one argument.
        const QStringList argv = SplitCommandLine("ffmpeg" + options);
        if (c.watermark && !argv[argv.indexOf("-vhook") + 1].endsWith(" -t " + c.watermarkText))
            return QString("the text does not come through");
        return BuildEncodeCommand(app, u'\\', source, options, out, name);
    });
}

void TestPipelineCore::splitter()
{
    TestSupport::CompareGoldenTable("command-line-splits.txt", [](const QString& line) {
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(SplitCommandLine(line)))
                                     .toJson(QJsonDocument::Compact));
    });

    // Every name and text a user can have comes back exactly.
    QStringList texts = {"", "plain", "ends with backslash\\", "\\\"", "a\\\\\"b", "\\\\", "\""};
    texts += TestSupport::Corpus("hostile-names.txt") + TestSupport::Corpus("hostile-texts.txt");
    for (const QString& text : texts) {
        QCOMPARE(SplitCommandLine("prog " + Quoted(text) + " tail"),
                 (QStringList{"prog", text, "tail"}));
        if (!text.contains('"') && !text.endsWith('\\'))
            QCOMPARE(EscapeForQuotes(text), text);
    }
}

void TestPipelineCore::probeReport()
{
    TestSupport::CompareGoldenTable("probe-reports.txt", [](const QString& report) {
        const std::optional<FrameSize> found = ParseProbeReport(report.toUtf8());
        return found ? QString("%1x%2").arg(found->width).arg(found->height) : "-";
    });
}

void TestPipelineCore::progress()
{
    ProgressParser p;
    QVERIFY(!p.Percent());
    p.Feed("Input #0, avi, from 'Duration: 09:00:00.00 frame= time=08:00:00.00.avi':\n");
    p.Feed("[avi] Duration: 00:00:01.00 frame= time=00:00:01.00\n");
    p.Feed("Input #0, avi, from 'x':\n  Duration: 00:01:40.00, start: 0.0");
    p.Feed("00, bitrate: 1 kb/s\nframe=   10 fps=0.0 q=2.0 size=  1kB time=00:00:");
    QVERIFY(!p.Percent()); // the status line is not complete yet
    QVERIFY(p.Feed("25.00 bitrate= 1kbits/s speed=1x\r"));
    QCOMPARE(p.Percent().value(), 25);
    QVERIFY(p.LastStatusLine().startsWith("frame=   10"));
    p.Feed("frame=  99 time=00:01:50.00 bitrate=1\r");
    QCOMPARE(p.Percent().value(), 100);
    QCOMPARE(ParseClock("01:02:03.5").value(), 3723.5);
    QVERIFY(!ParseClock("N/A"));
    QCOMPARE(RemainingText(25, 30), QString("1:30 left"));
}

void TestPipelineCore::pathsAndErrors()
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
    for (const QString odd : {"q\"q", "t\tt"})
        QVERIFY(QDir(plain).mkpath(odd) && !GetShortName(plain + '/' + odd).contains(odd[1]));
    // A runtime folder whose path holds a blank: the link goes to a private
    // folder in the temporary folder, and nowhere when that is not private.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QVERIFY(QDir(plain).mkpath("run time"));
    QFile::setPermissions(plain + "/run time",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(plain + "/run time"));
    qputenv("TMPDIR", QFile::encodeName(plain));
    const QString own = plain + "/kestrel-" + QString::number(getuid());
    QCOMPARE(QFileInfo(GetShortName(spaced)).path(), own);
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                   QFile::ReadOther | QFile::ExeOther);
    QCOMPARE(GetShortName(spaced), QString());
    qputenv("XDG_RUNTIME_DIR", runtime);
    qunsetenv("TMPDIR");
    // The link lives in the user's own folder, closed to others.
    QCOMPARE(QFileInfo(QFileInfo(link).path()).permissions() &
                 (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    QCOMPARE(GetWindowsDir(), QString("/usr/share"));
    QCOMPARE(DescribeSystemError(99999), QString()); // a code the system does not know
}

void TestPipelineCore::processRunner_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script"); // for sh -c
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("exitCode");
    QTest::addColumn<int>("systemError");
    const int exited = ToolOutcome::Exited, noStart = ToolOutcome::FailedToStart;
    QTest::newRow("exit code") << "/bin/sh"
                               << "echo hi; exit 3" << exited << 3u << 0;
    QTest::newRow("crash") << "/bin/sh"
                           << "kill -SEGV $$" << exited << 0x8000000Bu << 0;
    // The whole group ignores SIGTERM; the cancel ends it with SIGKILL.
    QTest::newRow("cancel a program that ignores SIGTERM")
        << "/bin/sh"
        << "trap '' TERM; sleep 30 & echo started; wait" << int(ToolOutcome::Cancelled)
        << 0x80000009u << 0;
    QTest::newRow("missing program") << "/nonexistent/ffmpeg"
                                     << "" << noStart << 0u << ENOENT;
    QTest::newRow("not executable") << TestSupport::BuiltAppFolder() + "/fonts.txt"
                                    << "" << noStart << 0u << EACCES;
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
    QTRY_COMPARE_WITH_TIMEOUT(groupStates(runner.ProcessId()), QByteArray(), 500);
}

// A paused group stops; a cancel of a paused program ends it at once by
// SIGTERM, without waiting for SIGKILL.
void TestPipelineCore::pauseAndCancel()
{
    ToolRun::KillDelayMs() = 10000;
    ToolRun runner;
    QSignalSpy finished(&runner, &ToolRunner::Finished);
    runner.Start({"/bin/sh", "-c", "sleep 30 & sleep 30 & wait"}, QString());
    QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray("SSS"));
    runner.Pause();
    QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray("TTT"));
    runner.Resume();
    QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray("SSS"));
    runner.Pause();
    QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray("TTT"));
    runner.Cancel();
    QVERIFY(finished.wait(2000));
    QCOMPARE(finished[0][0].value<ToolOutcome>().exitCode, 0x80000000u + SIGTERM);
}

QTEST_GUILESS_MAIN(TestPipelineCore)
#include "test_pipeline_core.moc"
