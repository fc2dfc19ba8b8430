// kestrel-convert converts a folder of real videos, one of them damaged, with
// the real front-end, Debian's ffmpeg and flvmdi; its --json events parse.
#include "tests/support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace TestSupport;

class TestConsoleConvert : public QObject
{
    Q_OBJECT
private slots:
    void folderWithADamagedVideo();
};

void TestConsoleConvert::folderWithADamagedVideo()
{
    IsolateProcess();
    QTemporaryDir dir;
    const QDir root(dir.path());
    QVERIFY(root.mkpath("v") && root.mkpath("out"));
    for (const char* name : {"a.avi", "b.mov"}) {
        QVERIFY(QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                             "testsrc=rate=25:size=160x120:duration=1", "-c:v",
                                             "mpeg4", root.filePath("v/") + name}) == 0);
    }
    QFile damaged(root.filePath("v/c.avi"));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("not a video at all") > 0);
    damaged.close();

    QProcess run;
    run.start(BuiltAppFolder() + "/kestrel-convert",
              {"--json", "--size", "160x120", "-o", root.filePath("out"), root.filePath("v")});
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 1);
    QStringList ended;
    QJsonObject done;
    for (const QByteArray& line : run.readAllStandardOutput().trimmed().split('\n')) {
        QJsonParseError error;
        const QJsonObject event = QJsonDocument::fromJson(line, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        if (event["event"] == "ended")
            ended << QFileInfo(event["output"].toString()).fileName() + ' ' +
                         event["result"].toString() + ' ' + event["message"].toString();
        done = event;
    }
    QCOMPARE(ended, (QStringList{"a.flv converted FLV CONVERSION SUCCESSFUL!",
                                 "b.flv converted FLV CONVERSION SUCCESSFUL!",
                                 "c.flv failed ENCODING FAILED! POSSIBLE REASON IS A "
                                 "DAMAGED/IMPROPER/CORRUPTED/UNSUPPORTED SOURCE VIDEO FILE."}));
    QCOMPARE(done["event"].toString() + ' ' + QString::number(done["status"].toInt()), "done 1");
    QCOMPARE(run.readAllStandardError().count('\n'), 3);
    QCOMPARE(QDir(root.filePath("out")).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.flv", "b.flv"}));
    for (const char* name : {"a.flv", "b.flv"})
        QCOMPARE(QProcess::execute(BuiltAppFolder() + "/flvmdi",
                                   {"--print", root.filePath("out/") + name}),
                 0);
}

QTEST_GUILESS_MAIN(TestConsoleConvert)
#include "test_console_convert.moc"
