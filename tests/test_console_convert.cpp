// kestrel-convert with the real tools, its --json events read by a JSON parser.
#include "tests/support/TestSupport.h"

#include <csignal>
#include <sys/stat.h>

using namespace TestSupport;

class TestConsoleConvert : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList files(const QString& folder) const
    {
        return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden);
    }
    void makeVideo(const QString& name, int seconds)
    {
        QCOMPARE(QProcess::execute(
                     "ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                QString("testsrc=rate=25:size=640x480:duration=%1").arg(seconds),
                                "-c:v", "mpeg4", path(name)}),
                 0);
    }
    void start(QProcess& run, const QStringList& arguments)
    {
        run.setWorkingDirectory(m_dir.path());
        run.start(BuiltAppFolder() + "/kestrel-convert", QStringList{"--json"} + arguments);
        QVERIFY(run.waitForStarted());
    }
    // The next such event, or an empty object when none comes in time.
    static QJsonObject next(QProcess& run, const QString& event, int ms = 120000)
    {
        for (QDeadlineTimer deadline(ms);
             !deadline.hasExpired() &&
             (run.canReadLine() || run.waitForReadyRead(int(deadline.remainingTime())));) {
            while (run.canReadLine()) {
                QJsonParseError error;
                const QJsonObject got = QJsonDocument::fromJson(run.readLine(), &error).object();
                if (error.error != QJsonParseError::NoError)
                    return QJsonObject{{"event", "not JSON"}};
                if (got["event"] == event)
                    return got;
            }
        }
        return QJsonObject();
    }

private slots:
    void initTestCase()
    {
        IsolateProcess();
        QVERIFY(QDir(m_dir.path()).mkpath("v") && QDir(m_dir.path()).mkpath("out"));
    }
    void folderTwoAtATime();
    void stoppedInTheMiddle();
    void watchedFolder();
};

// Two jobs at once, each probing in its own folder; stills named by output replace old sets whole.
void TestConsoleConvert::folderTwoAtATime()
{
    for (const char* name : {"v/a.avi", "v/b.mov"})
        makeVideo(name, 1);
    WriteFile(path("v/c.avi"), "not a video at all");
    for (const char* old : {"out/a-cover1.jpg", "out/a-cover3.jpg", "out/cover3.jpg"})
        WriteFile(path(old), "");
    QProcess run;
    start(run, {"--jobs", "2", "--overwrite", "--watermark", "Hi", "--stills", "2", "--size",
                "160x120", "-o", "out", "v"});
    QStringList ended;
    for (QJsonObject event; !(event = next(run, "ended")).isEmpty();) {
        ended << event["output"].toString().section('/', -1) + ' ' + event["result"].toString() +
                     ' ' + QString::number(event["exit_code"].toInt(-1)) + ' ' +
                     event["message"].toString();
        QVERIFY(QFile::exists(event["log"].toString()));
    }
    ended.sort();
    // FFmpeg's own code for a damaged source: 1 from FFmpeg 5.1, 183 from 7.1.
    const int damaged = QProcess::execute(
        "ffmpeg", {"-nostdin", "-v", "quiet", "-i", path("v/c.avi"), "-f", "null", "-"});
    QCOMPARE(ended, (QStringList{"a.flv converted 0 FLV CONVERSION SUCCESSFUL! IMAGE(S) GENERATED!",
                                 "b.flv converted 0 FLV CONVERSION SUCCESSFUL! IMAGE(S) GENERATED!",
                                 "c.flv failed " + QString::number(damaged) +
                                     " ENCODING FAILED! POSSIBLE REASON IS A "
                                     "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE. "
                                     "IMAGE GENERATION FAILED!"}));
    run.waitForFinished(); // false when it has ended already
    QCOMPARE(run.readAllStandardError().count('\n'), 3);
    QCOMPARE(files("out"), (QStringList{"a-cover1.jpg", "a-cover2.jpg", "a.flv", "b-cover1.jpg",
                                        "b-cover2.jpg", "b.flv", "cover3.jpg"}));
    QVERIFY(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryList({"kestrel-probe-*"}).isEmpty());
}

// SIGTERM mid-encode over an older FLV: it stays, nothing half-written, no program left.
void TestConsoleConvert::stoppedInTheMiddle()
{
    makeVideo("v/long.avi", 60);
    WriteFile(path("out/long.flv"), "older");
    const QStringList before = files("out");
    QProcess run;
    start(run, {"--overwrite", "-o", "out", "v/long.avi"});
    for (QJsonObject progress; progress["percent"].toInt() == 0;)
        QVERIFY(!(progress = next(run, "progress")).isEmpty());
    ::kill(pid_t(run.processId()), SIGTERM);
    QCOMPARE(next(run, "ended")["result"].toString(), "cancelled");
    run.waitForFinished(); // false when it has ended already
    QCOMPARE(run.exitCode(), 143);
    QCOMPARE(files("out"), before);
    QCOMPARE(ReadFile(path("out/long.flv")), "older");
    QCOMPARE(QProcess::execute("pgrep", {"-f", path("v/long.avi")}), 1);
}

// A video that grows for a while is taken once, whole, when it has stopped, into an output folder
// made for it as mkdir -p makes one; changed later, it is skipped with what --watch lets one do.
void TestConsoleConvert::watchedFolder()
{
    QVERIFY(QDir(m_dir.path()).mkpath("w"));
    QProcess run;
    start(run, {"--watch", "w", "-o", "made/flv/"});
    QFile source(path("v/a.avi")), growing(path("w/grows.avi"));
    QVERIFY(source.open(QIODevice::ReadOnly) && growing.open(QIODevice::WriteOnly));
    for (qint64 part = source.size() / 4 + 1; !source.atEnd(); QTest::qWait(700))
        QVERIFY(growing.write(source.read(part)) > 0 && growing.flush());
    growing.close();
    QCOMPARE(next(run, "ended")["result"].toString(), "converted");
    QVERIFY(next(run, "queued", 2500).isEmpty()); // no second take
    QVERIFY(growing.open(QIODevice::Append) && growing.write("x") == 1);
    growing.close();
    const QJsonObject skipped = next(run, "ended");
    QCOMPARE(skipped["result"].toString() + ' ' + skipped["message"].toString(),
             "skipped " + path("made/flv/grows.flv") +
                 " exists (--watch never replaces it: delete it, and the video is converted again "
                 "when it changes or when --watch starts again)");
    const mode_t umaskBits = ::umask(0);
    ::umask(umaskBits);
    for (const auto& [folder, mode] : {std::pair{"made", (0777 & ~umaskBits) | 0300},
                                       std::pair{"made/flv", 0777 & ~umaskBits}}) {
        struct stat made;
        QVERIFY(::stat(QFile::encodeName(path(folder)).constData(), &made) == 0);
        QCOMPARE(made.st_mode & 07777, mode);
    }
    ::kill(pid_t(run.processId()), SIGINT);
    run.waitForFinished();
    QCOMPARE(run.exitCode(), 130);
}

QTEST_GUILESS_MAIN(TestConsoleConvert)
#include "test_console_convert.moc"
