// The conversion job and its checks against a scripted runner: no process
// starts, so every order, message and outcome is tried in milliseconds.
#include "common/CommandLine.h"
#include "pipeline/ConversionJob.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace
{

// A request as the window makes it at its start values, with "key=value;..."
// changes: source, dir, name, text, alpha, count; watermark, stills; same (the
// output is the source) and noshort (no link to the program's folder) are for
// the file system.
JobRequest request(const QString& app, const QString& changes = QString())
{
    JobRequest job;
    job.source = "/v/clip.avi";
    job.outDir = "/out/";
    job.outFile = "clip.flv";
    EncoderControls& c = job.options;
    c = {"225", "400x300", "24",     false, "yellow", "f.ttf", "20",  255,
         "7",   "8",       "Sample", false, "22050",  "64",    "Mono"};
    job.alphaText = "255";
    job.stillsCount = "10";
    job.appFolder = app;
    job.windowsDir = "/usr/share";
    job.sourceSize = {320, 240};
    for (const QString& change : changes.split(';', Qt::SkipEmptyParts)) {
        const QString key = change.section('=', 0, 0), value = change.section('=', 1);
        QString* text = key == "source"  ? &job.source
                        : key == "dir"   ? &job.outDir
                        : key == "name"  ? &job.outFile
                        : key == "text"  ? &c.watermarkText
                        : key == "alpha" ? &job.alphaText
                        : key == "count" ? &job.stillsCount
                                         : nullptr;
        if (text)
            *text = value;
        c.watermark |= key == "watermark";
        job.stills |= key == "stills";
    }
    return job;
}

QString stepOf(const QStringList& argv)
{
    if (argv[0].endsWith("flvmdi"))
        return "inject";
    return argv.contains("-vframes") ? "stills" : argv.contains("-b") ? "encode" : "probe";
}

// One job with a scripted runner, and what it told the window.
struct Fixture {
    QTemporaryDir app;
    FakeFileSystem files;
    FakeRunner* runner = new FakeRunner;
    ConversionJob job{runner, files};
    QStringList messages, commands, steps, shown;
    int finished = 0;
    bool cancelled = false;

    Fixture()
    {
        runner->onHang = [this] { job.Cancel(); };
        QObject::connect(&job, &ConversionJob::Message,
                         [this](const QString& text, int style, const QString& title) {
                             messages << QString("%1|%2|%3").arg(text).arg(style).arg(title);
                         });
        QObject::connect(&job, &ConversionJob::CommandLine,
                         [this](const QString& line) { commands << line; });
        QObject::connect(&job, &ConversionJob::StillsCountShown,
                         [this](const QString& count) { shown << "count " + count; });
        QObject::connect(&job, &ConversionJob::CornerPlaced,
                         [this](const QString& x, const QString& y) { shown << x + "," + y; });
        QObject::connect(&job, &ConversionJob::Finished, [this](bool wasCancelled) {
            ++finished;
            cancelled = wasCancelled;
        });
    }
    bool run(const JobRequest& request, const QStringList& script)
    {
        runner->script = script;
        job.Start(request);
        if (!QTest::qWaitFor([this] { return finished > 0; }, 5000))
            return false;
        QTest::qWait(20); // nothing may follow the end
        for (const QStringList& argv : runner->started)
            steps << stepOf(argv);
        return finished == 1 && !job.IsRunning();
    }
};

} // namespace

class TestJob : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::IsolateProcess(); }
    void stepsAndOutcomes();
    void whatTheWindowShows_data();
    void whatTheWindowShows();
    void emptyCommandStartsNothing();
    void checks();
    void jobLog();
};

void TestJob::stepsAndOutcomes()
{
    TestSupport::CompareGoldenTable("job-steps.txt", [](const QString& row) {
        Fixture f;
        f.job.EncodeSucceeded = true;
        if (!f.run(request(f.app.path(), row.section(" | ", 0, 0)),
                   row.section(" | ", 1).split(' ')))
            return QString("the job did not end once");
        return QString("steps %1; messages %2; encode %3; %4; lines shown %5; input.bat %6")
            .arg(f.steps.join(' '), f.messages.join(" / "))
            .arg(f.job.EncodeSucceeded ? "good" : "failed", f.cancelled ? "cancelled" : "finished")
            .arg(f.commands.size())
            .arg(QFile::exists(f.app.filePath("input.bat")) ? "written" : "none");
    });
}

void TestJob::whatTheWindowShows_data()
{
    QTest::addColumn<QString>("changes");
    QTest::addColumn<int>("corner");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("stillsArgs");
    const QString stream = "  Stream #0.0: Video: mpeg4, yuv420p, 640x480, 25.00 fps(r)\r\n";
    QTest::newRow("top right after the probe, count 0 becomes 10")
        << "watermark;stills;count=0" << int(Corner::TopRight) << stream
        << QStringList{"290,10", "count 10"} << "-s 400x300 -vframes 10";
    QTest::newRow("a report without a size keeps the last one, count +3 gives 3")
        << "watermark;stills;count=+3" << int(Corner::BottomRight) << "no stream here"
        << QStringList{"160,190"} << "-s 400x300 -vframes 3";
    QTest::newRow("no corner keeps the typed place, count -2 is passed on")
        << "watermark;stills;count=-2" << int(Corner::None) << stream << QStringList{"7,8"}
        << "-s 400x300 -vframes -2";
    QTest::newRow("a 40,000-character text reaches the encoder whole")
        << "watermark;text=" + QString(40000, u'W') << int(Corner::TopLeft) << stream
        << QStringList{"10,10"} << "";
}

void TestJob::whatTheWindowShows()
{
    QFETCH(QString, changes);
    QFETCH(int, corner);
    QFETCH(QString, report);
    QFETCH(QString, stillsArgs);
    Fixture f;
    JobRequest job = request(f.app.path(), changes);
    job.corner = Corner(corner);
    QVERIFY(f.run(job, {"report=" + report, "0", "0", "0"}));
    QTEST(f.shown, "shown");
    const QString app = f.app.path();
    QFile batch(app + "/input.bat");
    QVERIFY(batch.open(QIODevice::ReadOnly));
    QCOMPARE(batch.readAll(),
             (app + "/ffmpeg -i \"/v/clip.avi\">" + app + "/infile.txt 2>&1\r\n").toUtf8());
    QCOMPARE(f.runner->started[0], (QStringList{app + "/ffmpeg", "-i", "/v/clip.avi"}));

    // Each program gets the line the job built, whole, as the window showed it.
    const QStringList encode = f.runner->started[1];
    QCOMPARE(SplitCommandLine(f.commands[0]), encode);
    QCOMPARE(encode.last(), QString("/out/clip.flv"));
    QVERIFY(encode[encode.indexOf("-vhook") + 1].endsWith(" -x " + f.shown[0].replace(',', " -y ") +
                                                          " -t " + job.options.watermarkText));
    QCOMPARE(f.job.EncoderOptions, f.commands[0].section('"', 2, -3));
    if (!stillsArgs.isEmpty())
        QCOMPARE(f.commands.last(),
                 app + "/ffmpeg -i \"/v/clip.avi\" " + stillsArgs + " \"/out/cover%d.jpg\"");
}

void TestJob::emptyCommandStartsNothing()
{
    Fixture f;
    QObject::connect(&f.job, &ConversionJob::StepStarted, [&] { ++f.finished; });
    f.job.EncodeSucceeded = true;
    f.job.RunEncode("   ");
    QTest::qWait(20);
    QVERIFY(f.runner->started.isEmpty() && f.job.EncodeSucceeded && f.finished == 0);
    // Any other command resets it first, so a program that cannot start fails.
    f.runner->script = {"nostart"};
    f.job.RunEncode("/nowhere/ffmpeg -i x");
    QTRY_COMPARE(f.messages,
                 QStringList{"CANNOT START FFMPEG! NO SUCH FILE OR DIRECTORY.|16|Error"});
    QVERIFY(!f.job.EncodeSucceeded);
}

void TestJob::checks()
{
    TestSupport::CompareGoldenTable("job-checks.txt", [](const QString& changes) {
        FakeFileSystem files;
        files.files = {{"/v/clip.avi", "A"},
                       {"/out/clip.flv", changes.contains("same") ? "A" : "B"}};
        files.shortNames = !changes.contains("noshort");
        const std::optional<JobRefusal> got = CheckJob(request("/app", changes), files);
        return got ? QString("%1 %2 %3 | focus %4")
                         .arg(got->style)
                         .arg(got->title, got->message, got->focus.isEmpty() ? "stays" : got->focus)
                   : QString("the job may start");
    });
}

void TestJob::jobLog()
{
    QTemporaryDir state;
    const QString folder = state.filePath("logs");
    QVERIFY(QDir().mkpath(folder));
    for (int i = 0; i < 25; ++i) // older logs: the newest 19 stay beside the new one
        QFile(folder + QString("/2020-01-01_00-00-%1.000.log").arg(i, 2, 10, QChar('0')))
            .open(QIODevice::WriteOnly);
    JobLog log;
    log.Begin(folder, QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3, 45)));
    log.ProgramStarted("/app/ffmpeg -i x");
    QByteArray out = "Input #0\n";
    QStringList last;
    for (int i = 0; i < 30; ++i) {
        out += "line " + QByteArray::number(i) + '\n';
        last << "line " + QString::number(i);
    }
    out += "frame=1 time=1\rframe=2 time=2\r";
    for (qsizetype i = 0; i < out.size(); i += 7) // chunks cut anywhere
        log.Output(out.mid(i, 7));
    log.ProgramEnded("exit code 1", 1500);
    last = last.mid(11) << "frame=2 time=2";
    QCOMPARE(log.Details(), last.join('\n') + "\n\nThe whole log: " + log.Path());
    QCOMPARE(log.Path(), folder + "/2026-12-07_01-02-03.045.log");
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 20);
    QVERIFY(!QFile::exists(folder + "/2020-01-01_00-00-05.000.log"));
    QCOMPARE(QFileInfo(folder).permissions() & 0x0777, QFile::Permissions(0x0700));
    QCOMPARE(QFileInfo(log.Path()).permissions() & 0x0777, QFile::Permissions(0x0600));
    QFile file(log.Path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains(" $ /app/ffmpeg -i x\nInput #0\nline 0\n"));
    QVERIFY(text.endsWith("line 29\nframe=2 time=2\nexit code 1 after 1.5 s\n\n"));
    QVERIFY(!text.contains("frame=1"));

    // A program that prints without end stops the file at 2 MiB.
    for (int i = 0; i < 40; ++i)
        log.Output(QByteArray(100000, 'x') + '\n');
    QVERIFY(file.size() <= JobLog::MaxBytes && file.size() > JobLog::MaxBytes - 100000);
    // A folder that cannot be made leaves the log silent.
    log.Begin(log.Path() + "/below a file", QDateTime::currentDateTime());
    log.ProgramStarted("x");
    QCOMPARE(log.Details(), QString());
}

QTEST_GUILESS_MAIN(TestJob)
#include "test_job.moc"
