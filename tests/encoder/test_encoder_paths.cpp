// Hostile file and folder names as source, output folder and output name:
// each works as a plain name does, and nothing else is created.
#include "EncoderTestSupport.h"

#include <QTemporaryDir>

using namespace enc;

class TestEncoderPaths : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString source;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        source = dir.filePath("source.avi");
        makeSource(source, "testsrc=size=160x120:rate=10:duration=1", "sine=r=22050:d=1",
                   {"-c:v", "mpeg4", "-c:a", "mp3", "-shortest"});
    }

    void hostileNames_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : corpus("hostile-names.txt"))
            QTest::newRow(qPrintable(name.left(40))) << name;
        QTest::newRow("-x.flv") << "-x.flv";
        QTest::newRow("cover%d.jpg") << "cover%d.jpg";
    }

    // NAME as the source's name, as a folder, and (with .flv added) as the
    // output's name in that folder; stills go into the same folder.
    void hostileNames()
    {
        QFETCH(QString, name);
        QTemporaryDir base;
        const QString folder = base.filePath("out/" + name);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir().mkpath(base.filePath("in")));
        const QString src = base.filePath("in/" + name);
        QVERIFY(QFile::copy(source, src));
        const QString outName = name.endsWith(".flv") ? name : name + ".flv";
        const QString out = folder + "/" + outName;

        Result r = runFrontEnd({"-i", src, "-b", "225kb/s", "-s", "160x120", "-r", "10", "-ar",
                                "22050Hz", "-ab", "32k", "-ac", "1", out},
                               base.path());
        QVERIFY2(r.code == 0, r.err.constData());
        const QJsonObject probed = probe(out);
        QCOMPARE(stream(probed, "video")["codec_name"].toString(), QString("flv1"));
        QCOMPARE(stream(probed, "audio")["codec_name"].toString(), QString("mp3"));

        r = runFrontEnd({"-i", src, "-s", "160x120", "-vframes", "2", folder + "/cover%d.jpg"},
                        base.path());
        QVERIFY2(r.code == 0, r.err.constData());

        r = runFrontEnd({"-i", src}, base.path());
        QVERIFY(r.code != 0);
        QCOMPARE(windowReadsSize(r.err), QSize(160, 120));

        const QSet<QString> expected = {"in",
                                        "in/" + name,
                                        "out",
                                        "out/" + name,
                                        "out/" + name + "/" + outName,
                                        "out/" + name + "/cover1.jpg",
                                        "out/" + name + "/cover2.jpg"};
        QCOMPARE(listing(base.path()), expected);
    }

    // A name that reads like a protocol or an option stays a file name, even
    // when given relative to the working folder.
    void relativeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("concat:") << "concat:x.avi";
        QTest::newRow("pipe:") << "pipe:1";
        QTest::newRow("http:") << "http:x.flv";
        QTest::newRow("file:") << "file:x.flv";
    }

    void relativeNames()
    {
        QFETCH(QString, name);
        QTemporaryDir work;
        QVERIFY(QFile::copy(source, work.filePath(name)));
        const Result r =
            runFrontEnd({"-i", name, "-s", "160x120", "-an", name + ".flv"}, work.path());
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(r.out.isEmpty()); // "pipe:1" would have gone to the standard output
        QCOMPARE(listing(work.path()), (QSet<QString>{name, name + ".flv"}));
    }

    // A source name that looks like a stream line must not pass for one.
    void nameLikeAStreamLine()
    {
        QTemporaryDir work;
        const QString src = work.filePath("Video: 1x2, 640x480.wav");
        makeSource(src, "", "sine=r=22050:d=1");
        const Result r = runFrontEnd({"-i", src});
        QVERIFY(r.code != 0);
        QVERIFY(r.err.contains("Audio: pcm_s16le, 22050 Hz, mono"));
        QCOMPARE(windowReadsSize(r.err), QSize());
    }
};

QTEST_GUILESS_MAIN(TestEncoderPaths)
#include "test_encoder_paths.moc"
