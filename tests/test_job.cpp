// The conversion job and its checks against a scripted runner: every outcome in milliseconds.
#include "app/FieldControls.h"
#include "common/AppPaths.h"
#include "common/CommandLine.h"
#include "common/VbNumber.h"
#include "pipeline/ConversionEngine.h"
#include "pipeline/JobLog.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <unistd.h>

using TestSupport::CompareGoldenTable;

// The window's start values with "key=value;..." changes and flags (batch: job 1 of a batch);
// other words (same, noshort, notmine, link) shape the file system.
static JobRequest request(const QString& app, const QString& changes = QString())
{
    JobRequest job;
    job.options = {225, {400, 300}, 24,  {},       false, "yellow", "f.ttf", "20",
                   255, "7",        "8", "Sample", false, 22050,    64,      1};
    job.appFolder = app;
    job.fontsRoot = "/usr/share";
    job.sourceSize = {320, 240};
    const QHash<QString, QString*> texts = {{"source", &job.source},
                                            {"dir", &job.outDir},
                                            {"name", &job.outFile},
                                            {"text", &job.options.watermarkText},
                                            {"font", &job.options.fontFileName}};
    const QString start = "source=/v/clip.avi;dir=/out/;name=clip.flv;alpha=255;count=10;";
    for (const QString& change : (start + changes).split(';', Qt::SkipEmptyParts)) {
        const QString key = change.section('=', 0, 0), value = change.section('=', 1);
        if (QString* text = texts.value(key))
            *text = value;
        if (key == "alpha" || key == "count")
            (key == "alpha" ? job.options.alpha : job.stillsCount) = ParseVbInteger(value).value;
        if (key == "corner")
            job.corner = value == "TopRight" ? Corner::TopRight : Corner::BottomRight;
        job.options.watermark |= key == "watermark";
        job.stills |= key == "stills";
        job.batchNumber |= key == "batch";
    }
    return job;
}

class TestJob : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::IsolateProcess(); }
    void stepsAndOutcomes();
    void jobsAtOnce();
    void jobLog();
};

void TestJob::stepsAndOutcomes()
{
    CompareGoldenTable("job-steps.txt", [](const QString& row) {
        QTemporaryDir dir;
        const QString changes = row.section(" | ", 0, 0), app = dir.path();
        const QString runtime = AppPaths::RuntimeFolder();
        QFile::remove(runtime + "/input.bat");
        // Root may write anywhere: the folder is not his; another user's is read-only.
        if (changes.contains("notmine") && chown(qPrintable(app), 65534, 65534) != 0)
            QFile::setPermissions(app, QFile::ReadOwner | QFile::ExeOwner);
        const QString stream = "  Stream #0.0: Video: mpeg4, yuv420p, 640x480, 25.00 fps(r)\r\n";
        if (changes.contains("link") &&
            (TestSupport::WriteFile(app + "/elsewhere.txt", stream.toUtf8()),
             !QFile::link(app + "/elsewhere.txt", app + "/infile.txt")))
            return QString("no link");
        FakeFileSystem files;
        FakeTools tools;
        tools.script =
            row.section(" | ", 1).split(' ').replaceInStrings("report=640x480", "report=" + stream);
        // The window's way: each step's end holds the job until the user has seen it.
        ConversionEngine engine([&tools] { return new FakeRunner(tools); }, files);
        engine.SetHoldBetweenSteps(true);
        QSignalSpy ended(&engine, &ConversionEngine::JobEnded);
        QStringList said, commands, shown;
        bool unasked = false, encodeFailed = false;
        tools.onStop = [&] { engine.Stop(); };
        QObject::connect(&engine, &ConversionEngine::StepEnded, [&](int job, StepResult r) {
            said << (!r.text.isEmpty() ? QString("%1|%2").arg(r.text).arg(
                                             r.IsFailure() ? "16|Error" : "64|Message")
                     : r.outcome == StepOutcome::Probed ? "probed"
                                                        : "encoded");
            encodeFailed |= r.step == JobStep::Encode && r.outcome != StepOutcome::Encoded;
            QTimer::singleShot(0, &engine, [&, job] {
                unasked |= tools.started.size() > said.size();
                engine.Continue(job);
            });
        });
        QObject::connect(&engine, &ConversionEngine::CommandLine,
                         [&](int, auto l) { commands << l; });
        QObject::connect(&engine, &ConversionEngine::StillsCountShown,
                         [&](int, auto n) { shown << "count " + n; });
        QObject::connect(&engine, &ConversionEngine::CornerPlaced,
                         [&](int, auto x, auto y) { shown << x + ',' + y; });
        engine.Add({request(app, changes), std::nullopt, false});
        ended.wait(5000);
        QCoreApplication::sendPostedEvents(); // nothing may follow the end
        if (ended.size() != 1 || !engine.IsIdle() || unasked)
            return QString("the job did not end once, or went on unasked");
        // Each program gets the line the window shows, whole; the probe's is written down.
        QList<QStringList> shownLines;
        for (const QString& line : commands)
            shownLines << SplitCommandLine(line);
        if (changes.contains("watermark"))
            shownLines.prepend({app + "/ffmpeg", "-i", "/v/clip.avi"});
        if (tools.started != shownLines)
            return "another line than the one shown runs: " + tools.started.last().join(' ');
        const QStringList last = tools.started.value(tools.started.size() - 1);
        const auto outcome = ended[0][1].value<JobOutcome>();
        return QString("%1; encode %2; %3; input.bat %4%5%6")
            .arg(said.join(" / "), encodeFailed ? "failed" : "good",
                 outcome.result == JobResult::Cancelled ? "cancelled" : "finished",
                 QFile::exists(app + "/input.bat")       ? "beside the program"
                 : QFile::exists(runtime + "/input.bat") ? "in the runtime folder"
                                                         : "none",
                 shown.isEmpty() ? "" : "; shown " + shown.join(' '),
                 last.contains("-vframes") ? "; stills " + last[last.indexOf("-vframes") + 1] : "");
    });
    CompareGoldenTable("job-checks.txt", [](const QString& changes) {
        FakeFileSystem files;
        files.files = {{"/v/clip.avi", "A"},
                       {"/usr/share/fonts/f.ttf", "F"},
                       {"/out/clip.flv", changes.contains("same") ? "A" : "B"}};
        files.shortNames = !changes.contains("noshort");
        const std::optional<JobRefusal> got = CheckJob(request("/app", changes), files);
        const QString focus = got ? ControlOf(got->field) : QString();
        return got ? QString("16 Error %1 | focus %2")
                         .arg(got->message, focus.isEmpty() ? "stays" : focus)
                   : QString("the job may start");
    });
}

// Two at once; a stop ends the running ones by the rule and those that wait as cancelled; a
// refused job and one whose output is there end without a program; the engine then takes jobs
// again.
void TestJob::jobsAtOnce()
{
    QTemporaryDir dir;
    FakeFileSystem files;
    files.files = {{"/out/c.flv", "C"}};
    FakeTools tools;
    tools.script = {"hang", "0", "!0"}; // the user stops as the second job injects
    ConversionEngine engine([&tools] { return new FakeRunner(tools); }, files);
    engine.SetJobsAtOnce(2);
    QSignalSpy idle(&engine, &ConversionEngine::Idle);
    QStringList ended;
    QObject::connect(&engine, &ConversionEngine::JobEnded, [&](int job, const JobOutcome& o) {
        ended << QString("%1 %2 %3").arg(job).arg(ResultName(o.result), o.note + o.Words());
    });
    int stops = 0;
    tools.onStop = [&] { ++stops == 2 ? engine.Stop() : void(); };
    PlannedJob job{request(dir.path(), "batch"), std::nullopt, false};
    for (const QString name : {"a", "b", "c", "d", "e", "f"}) {
        job.request.outFile = name + ".flv";
        job.outputExists = files.Exists("/out/" + job.request.outFile);
        job.refusal = std::nullopt;
        if (name == "d")
            job.refusal = JobRefusal{"NO FILE TO ENCODE!"};
        QCOMPARE(engine.Add(job), name[0].unicode() - 'a' + 1);
        if (name == "e")
            QVERIFY(idle.wait(5000) && ended.size() == 5 && tools.started.size() == 3);
    }
    QVERIFY(idle.wait(5000));
    ended.sort();
    QCOMPARE(ended,
             (QStringList{"1 cancelled CONVERSION CANCELLED!",
                          "2 converted FLV CONVERSION SUCCESSFUL!", "3 skipped /out/c.flv",
                          "4 refused NO FILE TO ENCODE!", "5 cancelled stopped before it started",
                          "6 converted FLV CONVERSION SUCCESSFUL!"}));
}

void TestJob::jobLog()
{
    QTemporaryDir state;
    const QString folder = state.filePath("logs");
    // The newest 19 older logs stay, and those of a running job and of this run's batch.
    JobLog running;
    running.Begin(folder, QDateTime(QDate(2019, 1, 1), QTime(0, 0)));
    for (int i = 0; i < 25; ++i)
        QFile(folder + QString("/2020-01-01_00-00-%1.000.log").arg(i, 2, 10, QChar('0')))
            .open(QIODevice::WriteOnly);
    const QString ofThisRun = folder + QString("/2019-01-01_00-00-00.000_%1-7.log").arg(getpid());
    QFile(ofThisRun).open(QIODevice::WriteOnly);
    JobLog log;
    log.Begin(folder, QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3, 45)), 3);
    log.ProgramStarted("/app/ffmpeg -i x");
    QStringList lines = {"Input #0"};
    for (int i = 0; i < 30; ++i)
        lines << QString("line %1").arg(i);
    const QByteArray out = lines.join('\n').toUtf8() + "\nframe=1 time=1\rframe=2 time=2\r";
    for (qsizetype i = 0; i < out.size(); i += 7) // chunks cut anywhere
        log.Output(out.mid(i, 7));
    log.ProgramEnded("exit code 1", 1500);
    QCOMPARE(log.Details(),
             (lines.mid(12) << "frame=2 time=2").join('\n') + "\n\nThe whole log: " + log.Path());
    QCOMPARE(log.Path(), folder + QString("/2026-12-07_01-02-03.045_%1-3.log").arg(getpid()));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 22);
    QVERIFY(QFile::exists(running.Path()) && QFile::exists(ofThisRun));
    QVERIFY(!QFile::exists(folder + "/2020-01-01_00-00-05.000.log"));
    QCOMPARE(QFileInfo(folder).permissions() & 0x0777, QFile::Permissions(0x0700));
    QCOMPARE(QFileInfo(log.Path()).permissions() & 0x0777, QFile::Permissions(0x0600));

    // A program that prints without end is cut at 2 MiB; its end and the next program still come.
    for (int i = 0; i < 40; ++i)
        log.Output(QByteArray(100000, 'x') + '\n');
    log.ProgramEnded("exit code 0", 0);
    log.ProgramStarted("/app/flvmdi x");
    log.Output("done\n");
    log.ProgramEnded("exit code 0", 0);
    QFile file(log.Path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains(" $ /app/ffmpeg -i x\nInput #0\nline 0\n"));
    QVERIFY(text.contains("line 29\nframe=2 time=2\nexit code 1 after 1.5 s\n\n"));
    QVERIFY(text.size() <= JobLog::MaxBytes + 2000);
    QVERIFY(text.contains("it has reached 2 MiB]\nexit code 0 after 0.0 s\n\n"));
    QVERIFY(text.endsWith(" $ /app/flvmdi x\ndone\nexit code 0 after 0.0 s\n\n"));
    // A folder that cannot be made leaves the log silent.
    log.Begin(log.Path() + "/below a file", QDateTime::currentDateTime());
    log.ProgramStarted("x");
    QCOMPARE(log.Details(), QString());
}

QTEST_GUILESS_MAIN(TestJob)
#include "test_job.moc"
