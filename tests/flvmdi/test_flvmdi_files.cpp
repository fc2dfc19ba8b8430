// flvmdi on files made byte by byte: hostile input is refused with exit
// code 2 and the file left as it was; unusual but valid files are described
// correctly; failures while writing leave the original and no temporary
// file; links, folders and missing files are handled.
#include "FlvTestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace flvtest;

class TestFlvmdiFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refusesHostileFiles_data();
    void refusesHostileFiles();
    void describesUnusualFiles_data();
    void describesUnusualFiles();
    void fullDiskKeepsOriginal();
    void readOnlyFolderKeepsOriginal();
    void signalKeepsOriginal_data();
    void signalKeepsOriginal();
    void pathProblems_data();
    void pathProblems();
    void symbolicLinkStaysLink();
    void fileOver4GiB();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QStringList entries() const { return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestFlvmdiFiles::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

// A small valid file: 25 fps video with a key frame every 10 frames, audio.
static QByteArray goodFile(int frames = 30)
{
    QByteArray f = flvHeader(true, true);
    for (int i = 0; i < frames; ++i) {
        f += tag(9, quint32(i * 40), h263Body(i % 10 == 0, 160, 90));
        f += tag(8, quint32(i * 40), mp3Body());
    }
    return f;
}

void TestFlvmdiFiles::refusesHostileFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");

    const QByteArray good = goodFile(3);
    const QByteArray oneTag = flvHeader(true, true) + tag(9, 0, h263Body(true, 160, 90));
    QByteArray pastEnd = oneTag;
    pastEnd[13 + 3] = char(pastEnd[13 + 3] + 5); // runs past the back-pointer too
    QByteArray huge = oneTag;
    huge.replace(14, 3, "\xFF\xFF\xFF");
    QByteArray badVersion = good;
    badVersion[3] = 2;
    QByteArray notAmf = flvHeader(true, true) + tag(18, 0, "\x05\x01\x02garbage") + good.mid(13);

    QTest::newRow("empty file") << QByteArray() << 2 << "not an FLV file";
    QTest::newRow("not an FLV") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16) << 2
                                << "not an FLV file";
    QTest::newRow("FLV version 2") << badVersion << 2 << "unsupported FLV version 2";
    QTest::newRow("header only") << flvHeader(true, true).left(9) << 2 << "FLV header only";
    QTest::newRow("header and back-pointer")
        << flvHeader(true, true) << 2 << "no audio or video tags";
    QTest::newRow("only a script tag")
        << flvHeader(false, false) + scriptTag("onCuePoint") << 2 << "no audio or video tags";
    QTest::newRow("truncated in a tag header")
        << good + tag(9, 200, h263Body(false, 160, 90)).left(6) << 2
        << QString("truncated tag header at byte %1").arg(good.size());
    QTest::newRow("truncated in a tag body")
        << good + tag(9, 200, h263Body(false, 160, 90)).left(20) << 2 << "bytes but only 9 remain";
    QTest::newRow("tag size past the end") << pastEnd << 2 << "at byte 13 declares";
    QTest::newRow("huge declared tag size") << huge << 2 << "declares 16777215 bytes";
    QTest::newRow("truncated back-pointer") << oneTag.chopped(2) << 2 << "truncated back-pointer";
    QTest::newRow("metadata tag not AMF0") << notAmf << 2 << "script tag at byte 13 is not AMF0";
}

void TestFlvmdiFiles::refusesHostileFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);

    const QString file = path("in.flv");
    QVERIFY(writeAll(file, bytes));
    const Run r = runFlvmdi({file});
    QCOMPARE(r.exitCode, exitCode);
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.startsWith("flvmdi: " + file + ": ") && err.contains(reason) &&
                 err.count('\n') == 1,
             qPrintable(err));
    QCOMPARE(readAll(file), bytes);
    QCOMPARE(entries(), QStringList{"in.flv"});
    // --print refuses it the same way.
    QCOMPARE(runFlvmdi({"--print", file}).exitCode, exitCode);
}

void TestFlvmdiFiles::describesUnusualFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVariantMap>("expected");

    const QByteArray both = flvHeader(true, true);
    auto key = [](quint32 ms) { return tag(9, ms, h263Body(true, 160, 90)); };
    auto inter = [](quint32 ms) { return tag(9, ms, h263Body(false, 160, 90)); };
    auto sound = [](quint32 ms) { return tag(8, ms, mp3Body()); };

    // Timestamps across the 24-bit limit use the extended byte.
    const quint32 big = 0xFFFFD8;
    QTest::newRow("extended timestamps")
        << both + key(big) + inter(big + 40) + key(big + 80)
        << QVariantMap{{"lasttimestamp", (big + 80) / 1000.0},
                       {"duration", (big + 120) / 1000.0},
                       {"lastkeyframetimestamp", (big + 80) / 1000.0},
                       {"canSeekToEnd", true}};
    QTest::newRow("timestamp jumps back")
        << both + key(0) + inter(40) + inter(80) + key(120) + inter(40) + inter(80)
        << QVariantMap{{"lasttimestamp", 0.12}, {"duration", 0.16}, {"framerate", 25.0}};
    QTest::newRow("timestamp jumps forward")
        << both + key(0) + inter(40) + key(3600000) + inter(3600040)
        << QVariantMap{{"lasttimestamp", 3600.04}, {"duration", 3600.08}, {"framerate", 25.0}};
    QTest::newRow("slide show, a picture a minute")
        << both + key(0) + key(60000) + key(120000)
        << QVariantMap{{"duration", 180.0}, {"framerate", 1 / 60.0}};
    QTest::newRow("zero-length tags")
        << both + key(0) + tag(9, 20, {}) + tag(8, 20, {}) + tag(18, 20, {}) + inter(40)
        << QVariantMap{{"duration", 0.08},
                       {"videosize", 2 * (11.0 + h263Body(true, 160, 90).size()) + 11}};
    QTest::newRow("tags of unknown type kept in place")
        << both + key(0) + tag(7, 10, "abc") + inter(40) + tag(31, 50, "") + inter(80)
        << QVariantMap{{"duration", 0.12}, {"width", 160.0}, {"height", 90.0}};
    QTest::newRow("one frame") << both + key(0)
                               << QVariantMap{{"duration", 0.0},
                                              {"framerate", 0.0},
                                              {"hasKeyframes", true},
                                              {"canSeekToEnd", true}};
    QTest::newRow("video only") << flvHeader(false, true) + key(0) + inter(40)
                                << QVariantMap{{"hasAudio", false},
                                               {"hasVideo", true},
                                               {"canSeekToEnd", false}};
    QTest::newRow("audio only") << flvHeader(true, false) + sound(0) + sound(26) + sound(52)
                                << QVariantMap{{"hasAudio", true},           {"hasVideo", false},
                                               {"audiosamplerate", 44100.0}, {"stereo", true},
                                               {"hasKeyframes", false},      {"duration", 0.078}};
    QTest::newRow("two onMetaData, onCuePoint kept in place")
        << both + scriptTag("onMetaData", QByteArray("\x08\0\0\0\0\0\0\x09", 8)) + key(0) +
               scriptTag("onCuePoint", QByteArray("\x05", 1)) + inter(40) +
               scriptTag("onMetaData", QByteArray("\x05", 1)) + inter(80)
        << QVariantMap{{"duration", 0.12}};
    QTest::newRow("last back-pointer missing")
        << (both + key(0) + inter(40)).chopped(4) << QVariantMap{{"duration", 0.08}};
    QTest::newRow("header flags wrong") << flvHeader(false, false) + key(0) + sound(0)
                                        << QVariantMap{{"hasAudio", true}, {"hasVideo", true}};
}

void TestFlvmdiFiles::describesUnusualFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QVariantMap, expected);

    const QString file = path("in.flv");
    QVERIFY(writeAll(file, bytes));
    const Run r = runFlvmdi({file});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(entries(), QStringList{"in.flv"});

    const QByteArray out = readAll(file);
    const Parsed p = parseFlv(out);
    QVERIFY2(p.ok, qPrintable(p.error));
    QString amfError;
    const QVariantMap md = decodeMetadata(metadataBody(p), &amfError);
    QVERIFY2(amfError.isEmpty(), qPrintable(amfError));
    QCOMPARE(p.tags[0].type, 18);
    QCOMPARE(md.value("filesize").toLongLong(), out.size());
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(qAbs(md.value(it.key()).toDouble() - it.value().toDouble()) < 1e-9,
                 qPrintable(it.key() + " = " + md.value(it.key()).toString()));

    // All other tags, in order and unchanged; the index points at key frames.
    QList<QByteArray> kept, now;
    qint64 pos = 13;
    while (pos + 11 <= bytes.size()) {
        const quint32 size =
            quint8(bytes[pos + 1]) << 16 | quint8(bytes[pos + 2]) << 8 | quint8(bytes[pos + 3]);
        const QByteArray t = bytes.mid(pos, 11 + size);
        if (!(t[0] == 18 && t.mid(14, 10) == "onMetaData"))
            kept << t;
        pos += 15 + size;
    }
    for (int i = 1; i < p.tags.size(); ++i)
        now << p.tags[i].bytes;
    QCOMPARE(now, kept);
    for (const QVariant& v : md.value("keyframes").toMap().value("filepositions").toList()) {
        const QByteArray t = out.mid(v.toLongLong(), 12);
        QVERIFY(t.size() == 12 && t[0] == 9 && (quint8(t[11]) >> 4) == 1);
    }
}

void TestFlvmdiFiles::fullDiskKeepsOriginal()
{
    // A file-size limit makes every write past 64 KiB fail as a full disk would.
    const QByteArray bytes = goodFile(3000);
    QVERIFY(bytes.size() > 200 * 1024);
    const QString file = path("big.flv");
    QVERIFY(writeAll(file, bytes));
    const Run r = runFlvmdi({file}, [] {
        struct rlimit lim {
            64 * 1024, 64 * 1024
        };
        setrlimit(RLIMIT_FSIZE, &lim);
    });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("flvmdi: " + file.toUtf8() + ": cannot write the new file: "),
             r.err.constData());
    QCOMPARE(readAll(file), bytes);
    QCOMPARE(entries(), QStringList{"big.flv"});
}

void TestFlvmdiFiles::readOnlyFolderKeepsOriginal()
{
    const QByteArray bytes = goodFile();
    const QString file = path("ro.flv");
    QVERIFY(writeAll(file, bytes));
    Run r;
    if (geteuid() != 0) {
        QVERIFY(QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner));
        r = runFlvmdi({file});
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    } else {
        // Root writes anywhere: make the folder read-only with a bind mount
        // in a mount namespace of the child's own, gone when it ends.
        const QString d = dir_->path();
        r = runProgram("unshare",
                       {"-m", "sh", "-c", "mount --bind -o ro \"$1\" \"$1\" && exec \"$2\" \"$3\"",
                        "sh", d, FLVMDI_PATH, file});
        if (r.err.contains("mount") || r.err.contains("unshare") || r.exitCode < 0)
            QSKIP("running as root and read-only bind mounts are not available");
    }
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("flvmdi: " + file.toUtf8() + ": ") &&
                 (r.err.contains("folder") || r.err.contains("Read-only file system")),
             r.err.constData());
    QCOMPARE(readAll(file), bytes);
    QCOMPARE(entries(), QStringList{"ro.flv"});
}

void TestFlvmdiFiles::signalKeepsOriginal_data()
{
    QTest::addColumn<int>("delayMs");
    for (int ms : {1, 5, 15, 40, 100})
        QTest::addRow("signal after %d ms", ms) << ms;
}

void TestFlvmdiFiles::signalKeepsOriginal()
{
    // A timer set in the child before exec ends flvmdi with SIGALRM at some
    // point of its work. Whenever that is, the folder holds either the
    // original or the complete new file, and no temporary file.
    QFETCH(int, delayMs);
    QByteArray bytes = flvHeader(false, true);
    for (int i = 0; i < 20000; ++i)
        bytes += tag(9, quint32(i * 40), h263Body(i % 25 == 0, 320, 240, 3000));
    const QString file = path("in.flv");
    QVERIFY(writeAll(file, bytes));
    const Run r = runFlvmdi({file}, [delayMs] {
        struct itimerval t {
        };
        t.it_value.tv_usec = delayMs * 1000;
        setitimer(ITIMER_REAL, &t, nullptr);
    });
    QCOMPARE(entries(), QStringList{"in.flv"});
    if (!r.crashed)
        QCOMPARE(r.exitCode, 0); // finished before the signal
    // A signal that lands just after the rename ends a run whose work is done.
    const QByteArray after = readAll(file);
    if (after != bytes) {
        const Parsed p = parseFlv(after);
        QVERIFY(p.ok && !metadataBody(p).isEmpty());
        QCOMPARE(p.tags.size(), 20001); // every picture, after the new metadata
    }
}

void TestFlvmdiFiles::pathProblems_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QStringList{"@/missing.flv"} << 1
                                  << "flvmdi: @/missing.flv: No such file or directory";
    QTest::newRow("a folder") << QStringList{"@"} << 1 << "flvmdi: @: is a folder";
    QTest::newRow("no file") << QStringList{} << 1 << "flvmdi: no file given";
    QTest::newRow("two files") << QStringList{"@/a.flv", "@/b.flv"} << 1
                               << "flvmdi: one file at a time";
    QTest::newRow("unknown option")
        << QStringList{"-x", "@/a.flv"} << 1 << "flvmdi: unknown option '-x'";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "";
}

void TestFlvmdiFiles::pathProblems()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    for (QString& a : args)
        a.replace("@", dir_->path());
    message.replace("@", dir_->path());
    const Run r = runFlvmdi(args);
    QCOMPARE(r.exitCode, exitCode);
    if (message.isEmpty())
        QVERIFY2(r.err.isEmpty(), r.err.constData());
    else
        QVERIFY2(QString::fromUtf8(r.err).startsWith(message), r.err.constData());
    if (args == QStringList{"--help"})
        QVERIFY(r.out.contains("Exit status") && r.out.contains("--print"));
    if (args == QStringList{"--version"})
        QVERIFY(r.out.startsWith("flvmdi 7."));
}

void TestFlvmdiFiles::symbolicLinkStaysLink()
{
    QVERIFY(QDir(dir_->path()).mkdir("real"));
    const QString target = path("real/clip.flv"), link = path("link.flv");
    QVERIFY(writeAll(target, goodFile()));
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link("real/clip.flv", link));
    const Run r = runFlvmdi({link});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
    struct stat st {
    };
    QCOMPARE(stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0640u);
    const Parsed p = parseFlv(readAll(target));
    QVERIFY(p.ok);
    QVERIFY(!metadataBody(p).isEmpty());
    QCOMPARE(QDir(path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"clip.flv"});
}

void TestFlvmdiFiles::fileOver4GiB()
{
    // Sparse: tags of 15 MiB whose bodies are holes except their first bytes,
    // so the 4.4 GiB file costs little disk and time; flvmdi keeps the holes.
    const QString file = path("huge.flv");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(flvHeader(false, true)) == 13);
    const int payload = 15 * 1024 * 1024;
    const int tags = 300;
    for (int i = 0; i < tags; ++i) {
        // Header and first body bytes, then the declared size patched in.
        QByteArray t = tag(9, quint32(i * 1000), h263Body(i % 2 == 0, 320, 240)).chopped(4);
        t[1] = char(payload >> 16);
        t[2] = char(payload >> 8);
        t[3] = char(payload);
        QVERIFY(f.write(t) == t.size());
        QVERIFY(f.seek(f.pos() + payload - (t.size() - 11)));
        QVERIFY(f.write(QByteArray::fromHex(
                    QByteArray::number(11 + payload, 16).rightJustified(8, '0'))) == 4);
    }
    f.close();
    const qint64 size = QFileInfo(file).size();
    QVERIFY(size > (qint64(1) << 32));

    const Run r = runFlvmdi({file});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const qint64 newSize = f.size();
    QVERIFY(f.seek(13));
    const QByteArray head = f.read(11);
    const int mdSize = quint8(head[1]) << 16 | quint8(head[2]) << 8 | quint8(head[3]);
    const QVariantMap md = decodeMetadata(f.read(mdSize));
    QCOMPARE(md.value("filesize").toLongLong(), newSize);
    QCOMPARE(newSize, size + 15 + mdSize);
    const QVariantList positions = md.value("keyframes").toMap().value("filepositions").toList();
    QCOMPARE(positions.size(), tags / 2);
    QVERIFY(positions.last().toLongLong() > (qint64(1) << 32));
    for (const QVariant& v : positions) {
        QVERIFY(f.seek(v.toLongLong()));
        const QByteArray t = f.read(12);
        QVERIFY(t[0] == 9 && (quint8(t[11]) >> 4) == 1);
    }
    QCOMPARE(md.value("lasttimestamp").toDouble(), (tags - 1) * 1.0);
    QCOMPARE(md.value("width").toInt(), 320);
}

QTEST_GUILESS_MAIN(TestFlvmdiFiles)
#include "test_flvmdi_files.moc"
