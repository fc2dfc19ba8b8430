// The -vhook text watermark: every text, font path and colour reaches the
// picture literally. Each watermarked encode is compared pixel for pixel with
// the same encode drawn by FFmpeg directly from plain files.
#include "EncoderTestSupport.h"

#include <QTemporaryDir>

using namespace enc;

namespace
{

struct Mark {
    QString text = "Sample";
    QString colour = "yellow";
    QString table = colourTable;
    QString font = dejaVu;
    QString size = "20";
    QString alpha = "255";
    QString x = "20", y = "40";

    QString vhook() const
    {
        return "/opt/kestrel/vhook/imlib2.dll -c " + colour + " -F " + font + "/" + size + " -C " +
               table + " -A " + alpha + " -x " + x + " -y " + y + " -t " + text;
    }
};

const QStringList videoOptions = {"-b", "225kb/s", "-s", "160x120", "-r", "10"};

} // namespace

Q_DECLARE_METATYPE(Mark)

class TestEncoderWatermark : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString source;
    QByteArray plainFrame; // the first frame without a watermark

    // Runs the front-end in a fresh folder with its own temporary folder; both
    // must be empty afterwards, and OUT's folder must hold OUT alone.
    Result encode(const Mark& mark, const QString& out)
    {
        QTemporaryDir work, tmp;
        QProcessEnvironment env = cleanEnvironment();
        env.insert("TMPDIR", tmp.path());
        Result r = runFrontEnd(QStringList{"-i", source} + videoOptions +
                                   QStringList{"-vhook", mark.vhook(), "-an", out},
                               work.path(), env);
        const QSet<QString> left = listing(work.path()) + listing(tmp.path());
        const QSet<QString> beside =
            listing(QFileInfo(out).path()) - QSet<QString>{QFileInfo(out).fileName()};
        if (!left.isEmpty() || !beside.isEmpty()) {
            r.code = -2;
            r.err += "files left: " + (left + beside).values().join(", ").toUtf8();
        }
        return r;
    }

    // The same encode with FFmpeg's drawtext given plain files.
    QByteArray referenceFrame(const Mark& mark, const QString& rgba)
    {
        QTemporaryDir ref;
        const QString textFile = ref.filePath("text");
        writeFile(textFile, mark.text.toUtf8());
        const QString filter =
            QString("drawtext=fontfile=%1:textfile=%2:expansion=none:fontsize=%3:"
                    "fontcolor=0x%4:x=%5:y=%6")
                .arg(dejaVu, textFile, mark.size, rgba, mark.x, mark.y);
        const QString out = ref.filePath("ref.flv");
        const Result r = run("ffmpeg", {"-nostdin",  "-v",   "error",   "-i",   "file:" + source,
                                        "-c:v",      "flv1", "-b:v",    "225k", "-vf",
                                        filter,      "-s",   "160x120", "-r",   "10",
                                        "-fps_mode", "cfr",  "-an",     "-f",   "flv",
                                        "-y",        out});
        if (r.code != 0)
            qWarning() << r.err;
        return frameRgb(out);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        source = dir.filePath("black.avi");
        makeSource(source, "color=c=black:s=160x120:r=10:d=1", "", {"-c:v", "mpeg4"});
        const QString plain = dir.filePath("plain.flv");
        QCOMPARE(
            runFrontEnd(QStringList{"-i", source} + videoOptions + QStringList{"-an", plain}).code,
            0);
        plainFrame = frameRgb(plain);
        QCOMPARE(plainFrame.size(), 160 * 120 * 3);
    }

    void drawnLiterally_data()
    {
        QTest::addColumn<Mark>("mark");
        QTest::addColumn<QString>("rgba"); // the colour drawn, 0xRRGGBBAA
        for (const QString& text : corpus("hostile-texts.txt")) {
            Mark m;
            m.text = text;
            QTest::newRow(qPrintable("text " + text.left(30))) << m << "FFFF00FF";
        }
        Mark m;
        m.colour = "Navy Blue";
        QTest::newRow("colour name with a blank and capitals") << m << "000080FF";
        m.colour = "LIGHTsteelBLUE";
        QTest::newRow("colour name in mixed case") << m << "B0C4DEFF";
        m = Mark();
        m.alpha = "128";
        QTest::newRow("half opacity") << m << "FFFF0080";
        m = Mark();
        m.x = "59.5";
        m.y = "-5";
        QTest::newRow("half-pixel x, negative y") << m << "FFFF00FF";
        m = Mark();
        m.size = "36";
        QTest::newRow("font size") << m << "FFFF00FF";
    }

    void drawnLiterally()
    {
        QFETCH(Mark, mark);
        QFETCH(QString, rgba);
        QTemporaryDir outDir;
        const QString out = outDir.filePath("out.flv");
        const Result r = encode(mark, out);
        QVERIFY2(r.code == 0, r.err.constData());
        const QByteArray frame = frameRgb(out);
        QCOMPARE(frame.size(), plainFrame.size());
        QVERIFY(frame != plainFrame);
        QVERIFY(frame == referenceFrame(mark, rgba));
    }

    // Font files whose paths hold the characters the filter graph reacts to.
    void fontPaths_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::newRow("blank") << "my fonts"
                               << "Deja Vu.ttf";
        QTest::newRow("colon") << "c:fonts"
                               << "a:b.ttf";
        QTest::newRow("quotes, brackets, comma, semicolon") << "it's [x]"
                                                            << "q'\\,;%{pts}.ttf";
        QTest::newRow("option-like, refused") << "-F x"
                                              << "-C y -t z.ttf";
    }

    void fontPaths()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QTemporaryDir fonts;
        QVERIFY(QDir(fonts.path()).mkpath(folder));
        const QString font = fonts.filePath(folder + "/" + file);
        QVERIFY(QFile::copy(dejaVu, font));
        Mark mark;
        mark.font = font;
        QTemporaryDir outDir;
        const QString out = outDir.filePath("out.flv");
        const Result r = encode(mark, out);
        if (folder == "-F x") { // " -C " inside the font path cannot be told from the option
            QCOMPARE(r.code, 1);
            return;
        }
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(frameRgb(out) == referenceFrame(mark, "FFFF00FF"));
    }

    void refused_data()
    {
        QTest::addColumn<Mark>("mark");
        QTest::addColumn<QByteArray>("table"); // written as the colour table unless empty
        QTest::addColumn<QByteArray>("message");
        const QByteArray table = "! test table\n"
                                 "300 0 0\t\tbad red\n"
                                 "1 2 x\t\tbroken\n"
                                 "10 20\t\tshort\n"
                                 "  10 20 30\t\t My  Mixed Colour  \r\n"
                                 "0 0 128\t\tnavy blue\n";
        Mark m;
        m.font = "/nonexistent/font.ttf";
        QTest::newRow("missing font file") << m << QByteArray() << QByteArray("font file");
        m = Mark();
        m.font = "/usr/share/fonts";
        QTest::newRow("font is a folder") << m << QByteArray() << QByteArray("font file");
        m = Mark();
        m.colour = "nosuchcolour";
        QTest::newRow("unknown colour") << m << table << QByteArray("nosuchcolour");
        m.colour = "bad red";
        QTest::newRow("colour only on a malformed line") << m << table << QByteArray("bad red");
        m.colour = "broken";
        QTest::newRow("colour on a line with a non-number") << m << table << QByteArray("broken");
        m.colour = "short";
        QTest::newRow("colour on a line with two numbers") << m << table << QByteArray("short");
        m = Mark();
        m.table = "/nonexistent/rgb.txt";
        QTest::newRow("missing colour table") << m << QByteArray() << QByteArray("colour table");
        m = Mark();
        m.x = "10+w";
        QTest::newRow("position not a number") << m << QByteArray() << QByteArray("-x");
        m = Mark();
        m.size = "big";
        QTest::newRow("font size not a number") << m << QByteArray() << QByteArray("-F");
    }

    void refused()
    {
        QFETCH(Mark, mark);
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, message);
        QTemporaryDir outDir;
        if (!table.isEmpty()) {
            mark.table = outDir.filePath("rgb.txt");
            QVERIFY(writeFile(mark.table, table));
        }
        const QString out = outDir.filePath("out.flv");
        QVERIFY(writeFile(out, "older file"));
        const Result r = runFrontEnd(QStringList{"-i", source} + videoOptions +
                                     QStringList{"-vhook", mark.vhook(), "-an", out});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1, r.err.constData());
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(readAll(out), QByteArray("older file"));
    }

    // The lookup itself: names compared without case and blanks, the first
    // good line wins, malformed lines are passed over.
    void colourTable()
    {
        QTemporaryDir outDir;
        const QString table = outDir.filePath("rgb.txt");
        QVERIFY(writeFile(table, "! comment\n"
                                 "300 0 0\t\tmy mixed colour\n"
                                 "  10 20 30\t\t My  Mixed Colour  \r\n"
                                 "40 50 60\t\tmymixedcolour\n"));
        Mark mark;
        mark.table = table;
        mark.colour = "mymixedCOLOUR";
        const QString out = outDir.filePath("out.flv");
        const Result r = runFrontEnd(QStringList{"-i", source} + videoOptions +
                                     QStringList{"-vhook", mark.vhook(), "-an", out});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(frameRgb(out) == referenceFrame(mark, "0A141EFF"));
    }
};

QTEST_GUILESS_MAIN(TestEncoderWatermark)
#include "test_encoder_watermark.moc"
