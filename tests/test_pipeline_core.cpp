// The window-free parts of a conversion: names, command lines, probe report, progress, paths, runs.
#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "options/OutputName.h"
#include "pipeline/Commands.h"
#include "pipeline/JobLog.h"
#include "pipeline/PathHelpers.h"
#include "pipeline/ProbeReport.h"
#include "pipeline/Progress.h"
#include "pipeline/SystemError.h"
#include "pipeline/ToolRun.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <unistd.h>

using namespace TestSupport;

// The states (R, S, T ...) of a group's processes but zombies.
static QByteArray groupStates(qint64 group)
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

class TestPipelineCore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IsolateProcess(); }
    void tables();
    void progress();
    void pathsAndErrors();
    void processRunner();
};

void TestPipelineCore::tables()
{
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
    const QString app = "C:\\PROGRA~1\\VIDEOT~1", source = "D:\\My Videos\\clip one.avi";
    const QString out = "D:\\Out\\", name = "clip one.flv";
    CompareGoldenTable("command-lines.txt", [&](const QString& changes) {
        if (changes == "inject")
            return BuildInjectCommand(app, u'\\', out, name);
        if (changes == "stills")
            return BuildStillsCommand(app, u'\\', source, "400x300", "10", out);
        if (changes == "probe")
            return BuildProbeLine("C:\\APPS", u'\\', "D:\\a b.avi", "C:\\APPS");
        EncoderControls c = {225, {400, 300}, 24,   {},       false, "yellow", "arial.ttf", "20",
                             255, "290",      "10", "Sample", false, 22050,    64,          1};
        for (const QString& change : changes.split(';', Qt::SkipEmptyParts)) {
            const QString value = change.section('=', 1);
            if (change.startsWith("channel="))
                SetListEntry(c, JobField::Channels, value);
            c.watermarkText = change.startsWith("text=") ? value : c.watermarkText;
            c.watermark |= change == "watermark";
            c.disableAudio |= change == "noaudio";
            c.format = change == "h264" ? FlvFormat::H264 : c.format;
        }
        return BuildEncodeCommand(app, u'\\', source,
                                  ComposeEncoderOptions(c, {app, "C:\\WINDOWS", u'\\'}), out, name);
    });
    CompareGoldenTable("command-line-splits.txt", [](const QString& line) {
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(SplitCommandLine(line)))
                                     .toJson(QJsonDocument::Compact));
    });
    // Every name and text a user can have comes back exactly.
    QStringList texts = {"", "plain", "ends with backslash\\", "\\\"", "a\\\\\"b", "\\\\", "\""};
    texts += Corpus("hostile-names.txt") + Corpus("hostile-texts.txt");
    for (const QString& text : texts)
        QCOMPARE(SplitCommandLine("prog " + Quoted(text) + " tail"),
                 (QStringList{"prog", text, "tail"}));
    CompareGoldenTable("probe-reports.txt", [](const QString& report) {
        const std::optional<FrameSize> found = ParseProbeReport(report.toUtf8());
        return found ? QString("%1x%2").arg(found->width).arg(found->height) : "-";
    });
}

// FFmpeg 5.1's and 7.1's own output of an encode and of a failure, captured in ffmpeg-output/ from
// a source whose name reads as progress: the percent follows the status lines and never goes back
// (7.1 writes "time=N/A" for a while), the last line is shown, the details name paths plainly.
void TestPipelineCore::progress()
{
    for (const QString release : {"5.1", "7.1"}) {
        const QString folder = KESTREL_TEST_SOURCE_DIR "/tests/ffmpeg-output/" + release + "/";
        auto captured = [&](const QString& name) {
            const QByteArray all = ReadFile(folder + name);
            return all.mid(all.indexOf('\n') + 1); // the line naming the command
        };
        const QByteArray encode = captured("encode.txt");
        ProgressParser p;
        QList<int> percents;
        for (qsizetype at = 0; at < encode.size(); at += 7)
            if (p.Feed(encode.mid(at, 7)) && p.Percent())
                percents << *p.Percent();
        QCOMPARE(p.DurationSeconds().value(), 8.05);
        QVERIFY(qAbs(p.DoneSeconds().value() - 8.0) < 0.1); // 7.1 ends at 7.96, 5.1 at 8.05
        QVERIFY2(percents.size() > 4 && percents.last() >= 98 &&
                     std::is_sorted(percents.begin(), percents.end()),
                 qPrintable(release));
        QCOMPARE(p.LastStatusLine().toUtf8(), encode.trimmed().split('\n').last());

        JobLog log;
        log.ProgramStarted("ffmpeg");
        log.Output(captured("errors.txt"));
        const QString details = log.Details();
        QVERIFY2(details.contains(" No such file or directory") && !details.contains("file:") &&
                     details.contains(QRegularExpression("(^|\\s)/tmp/tmp\\.\\w+/none\\.avi")),
                 qPrintable(details));
    }
    ProgressParser p;
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
    QCOMPARE(BlankFreePath(plain), plain);
    QCOMPARE(BlankFreePath(plain + "/missing"), QString());
    const QString spaced = plain + "/with blank/and \"quote\"";
    const QString link = BlankFreePath(spaced);
    QVERIFY(!link.isEmpty() && !link.contains(' ') && !link.contains('"'));
    QCOMPARE(QFileInfo(link).canonicalFilePath(), QFileInfo(spaced).canonicalFilePath());
    QCOMPARE(BlankFreePath(spaced), link); // made once
    for (const QString odd : {"q\"q", "t\tt"})
        QVERIFY(QDir(plain).mkpath(odd) && !BlankFreePath(plain + '/' + odd).contains(odd[1]));
    // A private folder others may enter is closed; a link, a file, another user's folder refused.
    const QString other = plain + "/other", own = plain + "/kestrel-" + QString::number(geteuid());
    QVERIFY(QDir(plain).mkpath(other) && QFile::link(other, own));
    QVERIFY(QFile(plain + "/file").open(QIODevice::WriteOnly));
    QVERIFY(AppPaths::MakePrivateFolder(other) && AppPaths::MakePrivateFolder(plain + "/new/one"));
    QCOMPARE(QFileInfo(other).permissions() & 0x0777, QFile::Permissions(0x0700));
    QVERIFY(!AppPaths::MakePrivateFolder(own) && !AppPaths::MakePrivateFolder(plain + "/file"));
    // A runtime folder with a blank: links go to a private temporary folder, none while it links.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QVERIFY(QDir(plain).mkpath("run time"));
    QFile::setPermissions(plain + "/run time",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(plain + "/run time"));
    qputenv("TMPDIR", QFile::encodeName(plain));
    QCOMPARE(BlankFreePath(spaced), QString());
    QVERIFY(QFile::remove(own));
    QCOMPARE(QFileInfo(BlankFreePath(spaced)).path(), own);
    qputenv("XDG_RUNTIME_DIR", runtime);
    qunsetenv("TMPDIR");
    QVERIFY(geteuid() != 0 ||
            (chown(qPrintable(other), 65534, 65534) == 0 && !AppPaths::MakePrivateFolder(other)));
    QCOMPARE(DescribeSystemError(99999), QString()); // a code the system does not know
}

void TestPipelineCore::processRunner()
{
    ToolRun::KillDelayMs() = 100;
    CompareGoldenTable("tool-runs.txt", [](const QString& row) {
        QTemporaryDir dir;
        const QString link = dir.filePath("link"), victim = dir.filePath("victim");
        QFile::link(victim, link);
        ToolRun runner;
        QSignalSpy finished(&runner, &ToolRunner::Finished);
        QByteArray output;
        QObject::connect(&runner, &ToolRunner::Output, [&](const QByteArray& chunk) {
            output += chunk;
            while (output.contains("ended") && !groupStates(runner.ProcessId()).isEmpty())
                QThread::msleep(1); // ended, unseen by the event loop
            if (output.contains("started"))
                runner.Cancel();
        });
        const QString program = row.section(" | ", 0, 0).replace("@APP", BuiltAppFolder());
        runner.Start({program, "-c", row.section(" | ", 1).section(" > ", 0, 0)},
                     row.endsWith(" > link") ? link : QString());
        if (!finished.wait(3000))
            return QString("no end");
        const auto o = finished[0][0].value<ToolOutcome>();
        return (o.kind == ToolOutcome::FailedToStart
                    ? "could not start: " + DescribeSystemError(o.systemError)
                : o.exitCode >= 0x80000000u
                    ? QString("killed by signal %1").arg(o.exitCode - 0x80000000u)
                    : QString("exit code %1").arg(o.exitCode)) +
               (o.stopped ? ", stopped" : "") + (QFile::exists(victim) ? ", wrote through" : "") +
               (QTest::qWaitFor([&] { return groupStates(runner.ProcessId()).isEmpty(); }, 500)
                    ? ""
                    : ", left running");
    });
    // A paused group stops; a cancel ends a paused program at once by SIGTERM, not waiting for
    // SIGKILL.
    ToolRun::KillDelayMs() = 10000;
    ToolRun runner;
    QSignalSpy finished(&runner, &ToolRunner::Finished);
    runner.Start({"/bin/sh", "-c", "sleep 30 & sleep 30 & wait"}, QString());
    QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray("SSS"));
    for (const bool pause : {true, false, true}) {
        pause ? runner.Pause() : runner.Resume();
        QTRY_COMPARE(groupStates(runner.ProcessId()), QByteArray(pause ? "TTT" : "SSS"));
    }
    runner.Cancel();
    QVERIFY(finished.wait(2000));
    QCOMPARE(finished[0][0].value<ToolOutcome>().exitCode, 0x80000000u + SIGTERM);
}

QTEST_GUILESS_MAIN(TestPipelineCore)
#include "test_pipeline_core.moc"
