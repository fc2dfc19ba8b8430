// flvmdi on files made byte by byte: broken files are refused and left as
// they were; unusual valid files are described right, their other tags kept;
// a stopped or killed run, a full disk, a read-only folder or a file changed
// meanwhile never cost the original, and nothing of the new file stays.
#include "FlvTest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace flvtest;

class TestFlvmdiFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY((dir_.reset(new QTemporaryDir), dir_->isValid())); }
    void brokenFiles();
    void unusualFiles();
    void stoppedRuns();
    void failures();
    void commandLine();
    void hostileNames();
    void linkModeAndOwner();
    void fileOver4GiB();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QStringList entries(const QString& sub = {}) const
    {
        return QDir(path(sub)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    std::unique_ptr<QTemporaryDir> dir_;
};

static const auto key = [](quint32 ms) { return tag(9, ms, h263(true, 160, 90)); };
static const auto inter = [](quint32 ms) { return tag(9, ms, h263(false, 160, 90)); };
static const auto sound = [](quint32 ms) { return tag(8, ms, mp3()); };

// 25 fps video with a key frame every 10 frames, and audio.
static QByteArray goodFile(int frames = 30)
{
    QByteArray f = flvHeader(true, true);
    for (int i = 0; i < frames; ++i)
        f += tag(9, i * 40, h263(i % 10 == 0, 160, 90)) + sound(i * 40);
    return f;
}

void TestFlvmdiFiles::brokenFiles()
{
    const QByteArray good = goodFile(3), one = flvHeader(true, true) + key(0);
    QByteArray pastEnd = one, huge = one, v2 = good;
    pastEnd[16] = char(pastEnd[16] + 5);
    huge.replace(14, 3, "\xFF\xFF\xFF");
    v2[3] = 2;
    const QList<std::pair<QByteArray, QString>> rows{
        {{}, "not an FLV file"},
        {QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16), "not an FLV file"},
        {v2, "unsupported FLV version 2"},
        {one.left(9), "FLV header only"},
        {one.left(13), "no audio or video tags"},
        {flvHeader(false, false) + scriptTag("onCuePoint"), "no audio or video tags"},
        {good + inter(200).left(6), QString("truncated tag header at byte %1").arg(good.size())},
        {good + inter(200).left(20), "bytes but only 9 remain"},
        {pastEnd, "at byte 13 declares"},
        {huge, "declares 16777215 bytes"},
        {one.chopped(2), "truncated back-pointer"},
        {one.left(13) + tag(18, 0, QByteArray::fromHex("05000141")) + good.mid(13),
         "tag at byte 13 is not AMF0"}};
    const QString file = path("in.flv");
    for (const auto& [bytes, reason] : rows) {
        QVERIFY(writeAll(file, bytes));
        const Run r = flvmdi({file});
        QVERIFY2(r.exitCode == 2 && r.err.startsWith("flvmdi: " + QFile::encodeName(file) + ": ") &&
                     r.err.contains(reason.toUtf8()) && r.err.count('\n') == 1,
                 qPrintable(reason + " / " + r.err));
        QCOMPARE(flvmdi({"--print", file}).exitCode, 2);
        QCOMPARE(readAll(file), bytes);
        QCOMPARE(entries(), QStringList{"in.flv"});
    }
}

void TestFlvmdiFiles::unusualFiles()
{
    struct Row {
        QByteArray header;
        QList<QByteArray> tags;
        QString expected; // NAME=VALUE ..., true and false as 1 and 0
        int chop = 0;     // bytes missing at the end
    };
    const QByteArray both = flvHeader(true, true), video = flvHeader(false, true);
    auto hex = [](const char* h) { return QByteArray::fromHex(h); };
    const quint32 big = 0xFFFFD8; // the time stamps cross 24 bits
    const QList<Row> rows{
        {both,
         {key(big), inter(big + 40), key(big + 80)},
         "lasttimestamp=16777.256 duration=16777.296 lastkeyframetimestamp=16777.256 "
         "canSeekToEnd=1"},
        {both,
         {key(0), inter(40), inter(80), key(120), inter(40), inter(80)},
         "lasttimestamp=0.12 duration=0.16 framerate=25"},
        {both,
         {key(0), inter(40), key(3600000), inter(3600040)},
         "lasttimestamp=3600.04 duration=3600.08 framerate=25"}, // a jump is no frame step
        {both, {key(0), key(60000), key(120000)}, "duration=180 framerate=0.0166666666666667"},
        {both,
         {key(0), tag(9, 20, {}), tag(8, 20, {}), tag(18, 20, {}), tag(7, 30, "abc"), inter(40),
          tag(31, 50, "")},
         "duration=0.08 videosize=93 width=160 height=90"}, // empty and unknown tags kept
        {both, {key(0)}, "duration=0 framerate=0 hasKeyframes=1 canSeekToEnd=1"},
        {flvHeader(false, true), {key(0), inter(40)}, "hasAudio=0 canSeekToEnd=0"},
        {flvHeader(true, false),
         {sound(0), sound(26), sound(52)},
         "hasVideo=0 audiosamplerate=44100 stereo=1 hasKeyframes=0 duration=0.078"},
        {both,
         {scriptTag("onMetaData", QByteArray("\x08\0\0\0\0\0\0\x09", 8)), key(0),
          scriptTag("onCuePoint", "\x05"), inter(40), scriptTag("onMetaData", "\x05"), inter(80)},
         "duration=0.12"},
        {both, {key(0), inter(40)}, "duration=0.08", 4}, // last back-pointer missing
        {flvHeader(false, false), {key(0), sound(0)}, "hasAudio=1 hasVideo=1"},
        // VP6 sizes: a key frame tag whose picture says inter frame, a size
        // cut by the adjustment byte, one behind a coefficient offset, and
        // one behind the alpha offset.
        {video,
         {tag(9, 0, hex("14 00 80 36 09 0c 09 0c")), tag(9, 40, hex("14 12 00 36 09 0c 09 0c"))},
         "width=191 height=142 videocodecid=4"},
        {video, {tag(9, 0, hex("14 00 01 36 00 10 09 0c 09 0c"))}, "width=192 height=144"},
        {video,
         {tag(9, 0, hex("15 00 000020 00 36 09 0c 09 0c"))},
         "width=192 height=144 videocodecid=5"},
        // Sound whose flags say 22 kHz mono and whose first bytes are no MPEG
        // header; AAC with its sample rate written out.
        {flvHeader(true, false),
         {tag(8, 0, hex("2a fe fb 90 04"))},
         "audiosamplerate=22050 stereo=0"},
        {flvHeader(true, false),
         {tag(8, 0, hex("af 00 17 80 01 f4 10")), tag(8, 0, hex("af 01 21"))},
         "audiosamplerate=1000 stereo=1 audiocodecid=10"},
    };
    const QString file = path("in.flv");
    for (const Row& row : rows) {
        QVERIFY(writeAll(file, (row.header + row.tags.join()).chopped(row.chop)));
        const Run r = flvmdi({file});
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(row.expected + " / " + r.err));
        QCOMPARE(entries(), QStringList{"in.flv"});
        // Header, our onMetaData, then every other tag unchanged and in order.
        const QByteArray out = readAll(file);
        QByteArray kept, types;
        for (const QByteArray& t : row.tags) {
            types += t[0];
            kept += t.mid(11, 13) == QByteArray("\x02\0\x0aonMetaData", 13) ? QByteArray() : t;
        }
        QCOMPARE(out.left(13), flvHeader(types.contains(8), types.contains(9)));
        QCOMPARE(out.mid(13 + 15 + be24(out, 14)).toHex(), kept.toHex());
        const QJsonObject md = metadata(file);
        QCOMPARE(md.value("filesize").toDouble(), double(out.size()));
        for (const QString& pair : row.expected.split(' ')) {
            const double value = md.value(pair.section('=', 0, 0)).toVariant().toDouble();
            QVERIFY2(qAbs(value - pair.section('=', 1).toDouble()) < 1e-9,
                     qPrintable(pair + " / " + QString::number(value)));
        }
        for (const QJsonValue& v : md["keyframes"]["filepositions"].toArray()) {
            const QByteArray t = out.mid(qint64(v.toDouble()), 12);
            QVERIFY(t.size() == 12 && t[0] == 9 && (quint8(t[11]) >> 4) == 1);
        }
    }
}

// The file with the date of its metadata blanked.
static QByteArray withoutDate(QByteArray f)
{
    const qint64 at = f.indexOf("metadatadate\x0b");
    return at < 0 ? f : f.replace(at + 13, 8, QByteArray(8, 0));
}

// strace gives flvmdi `signal` on entry to the system call `at`.
static Run signalAt(const QString& at, const QString& signal, const QString& file,
                    const QStringList& env, const std::function<void(qint64)>& started = {})
{
    const QString call = at.section(':', 0, 0);
    return run("strace",
               {"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                "inject=" + QString(at).insert(call.size(), ":signal=" + signal), FLVMDI_PATH,
                file},
               env, {}, started);
}

void TestFlvmdiFiles::stoppedRuns()
{
    // Where the signal lands, whether the new file is unnamed, whether it
    // then replaced the original, and whether something stays until the
    // next run in the folder.
    const QList<std::tuple<QString, QString, bool, bool, bool>> rows{
        {"pwrite64", "KILL", false, false, false}, {"fsync", "KILL", false, false, false},
        {"rename", "KILL", false, false, true},    {"fsync:when=2", "KILL", false, true, false},
        {"linkat", "HUP", false, true, false},     {"pwrite64", "KILL", true, false, true},
        {"rename", "KILL", true, false, true},     {"pwrite64", "TERM", true, false, false},
        {"fsync", "INT", true, false, false},      {"rename", "HUP", true, true, false}};
    const QString file = path("in.flv");
    const QByteArray bytes = goodFile();
    QVERIFY(writeAll(file, bytes) && flvmdi({file}).exitCode == 0);
    const QByteArray done = withoutDate(readAll(file));
    // What the next run removes: what a gone process of this host left, and
    // only that.
    qint64 gone = 0;
    run("true", {}, {}, {}, [&gone](qint64 pid) { gone = pid; });
    const QString mark = ".kestrel-scratch@%1@%2@abcdef", host = QSysInfo::machineHostName();
    QStringList others{".a" + mark.arg("elsewhere").arg(gone), ".b" + mark.arg(host).arg(getpid()),
                       ".c.flvmdi-abcdef", "in.flv"};
    others.sort();
    for (const QString& o : others)
        QVERIFY(o == "in.flv" || writeAll(path(o), "x"));
    for (const auto& [at, signal, named, replaced, leftover] : rows) {
        const QStringList env{named ? "KESTREL_SCRATCH_NAMED=1" : "KESTREL_SCRATCH_NAMED="};
        const QString row = QString("%1 at %2%3").arg(signal, at, named ? ", named" : "");
        QVERIFY(writeAll(file, bytes));
        QVERIFY2(signalAt(at, signal, file, env).exitCode == -1, qPrintable(row));
        QVERIFY2(withoutDate(readAll(file)) == (replaced ? done : bytes), qPrintable(row));
        QVERIFY2(entries().size() == others.size() + leftover, qPrintable(row));
        QCOMPARE(flvmdi({file}, env).exitCode, 0);
        QVERIFY2(entries() == others, qPrintable(row + ": " + entries().join(", ")));
    }
}

void TestFlvmdiFiles::failures()
{
    const QString file = path("in.flv");
    const QStringList named{"KESTREL_SCRATCH_NAMED=1"};
    for (const QString failure : {"full disk", "read-only folder", "changed meanwhile"}) {
        QByteArray bytes = goodFile(3000);
        QVERIFY(writeAll(file, bytes));
        Run r;
        QByteArray message = "cannot write";
        if (failure == "full disk") {
            // A file-size limit fails every write past 64 KiB as a full disk would.
            r = flvmdi({file}, named, [] {
                const rlimit lim{65536, 65536};
                setrlimit(RLIMIT_FSIZE, &lim);
            });
            message = "cannot write the new file: File too large";
        } else if (failure == "read-only folder") {
            // A read-only bind mount in a namespace of the child's own
            // (where even root cannot write).
            r = run("unshare",
                    {"-rm", "sh", "-c", R"(mount --bind -o ro "$1" "$1" && exec "$2" "$3")", "sh",
                     dir_->path(), FLVMDI_PATH, file});
            QVERIFY2(!r.err.contains("unshare") && !r.err.contains("mount"), r.err);
        } else {
            // Stopped before syncing the new file while the file grows.
            bytes += "more";
            message = "the file changed while it was being read";
            r = signalAt("fsync", "STOP", file, named, [&](qint64 strace) {
                QString child;
                QTRY_VERIFY(
                    !(child = readAll(QString("/proc/%1/task/%1/children").arg(strace)).trimmed())
                         .isEmpty());
                QTRY_VERIFY(readAll("/proc/" + child + "/status").contains("State:\tt"));
                QFile f(file);
                QVERIFY(f.open(QIODevice::Append) && f.write("more") == 4);
                f.close();
                kill(child.toInt(), SIGCONT);
            });
        }
        QVERIFY2(r.exitCode == 1 && r.err.startsWith("flvmdi: " + QFile::encodeName(file) + ": ") &&
                     r.err.contains(message),
                 qPrintable(failure + ": " + r.err));
        QCOMPARE(readAll(file), bytes);
        QCOMPARE(entries(), QStringList{"in.flv"});
    }
}

void TestFlvmdiFiles::commandLine()
{
    // Arguments (@ for the test folder), exit code, how standard error
    // starts and a part of standard output.
    const QList<std::tuple<QStringList, int, QString, QString>> rows{
        {{"@/no.flv"}, 1, "flvmdi: @/no.flv: No such file or directory", ""},
        {{"@"}, 1, "flvmdi: @: is a folder", ""},
        {{}, 1, "flvmdi: no file given", ""},
        {{"@/a", "@/b"}, 1, "flvmdi: one file at a time", ""},
        {{"-x", "@/a"}, 1, "flvmdi: unknown option '-x'", ""},
        {{"--help"}, 0, "", "Exit status"},
        {{"--version"}, 0, "", "flvmdi 7."}};
    for (auto [args, exitCode, err, out] : rows) {
        const Run r = flvmdi(args.replaceInStrings("@", dir_->path()));
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.startsWith(err.replace("@", dir_->path()).toUtf8()) &&
                     err.isEmpty() == r.err.isEmpty() && r.out.contains(out.toUtf8()),
                 r.err);
    }
}

void TestFlvmdiFiles::hostileNames()
{
    // Each name (and one of 250 bytes) as a folder and, with ".flv", as the
    // file in it, given after "--" from the folder above; the new file's
    // scratch name is made from it.
    const QByteArray top = QFile::encodeName(dir_->path());
    const QString corpus = readAll(CORPUS_DIR "/hostile-names.txt") + QString(250, 'n');
    for (const QString& name : corpus.split('\n', Qt::SkipEmptyParts)) {
        const QString file = name + "/" + name + ".flv";
        QVERIFY(QDir(dir_->path()).mkdir(name) && writeAll(path(file), goodFile()));
        const Run r = run(FLVMDI_PATH, {"--", file}, {"KESTREL_SCRATCH_NAMED=1"},
                          [&top] { (void)!chdir(top.constData()); });
        QVERIFY2(r.exitCode == 0, qPrintable(name + ": " + r.err));
        QCOMPARE(entries(name), QStringList{name + ".flv"});
        QVERIFY(metadata(path(file)).contains("keyframes"));
    }
}

void TestFlvmdiFiles::linkModeAndOwner()
{
    QVERIFY(QDir(dir_->path()).mkdir("real"));
    const QString target = path("real/clip.flv"), link = path("link.flv");
    const QByteArray real = QFile::encodeName(target);
    const bool root = geteuid() == 0;
    QVERIFY(writeAll(target, goodFile()) && chmod(real, 0640) == 0);
    QVERIFY(!root || chown(real, 65534, 65534) == 0);
    QVERIFY(QFile::link("real/clip.flv", link));
    const Run r = flvmdi({link});
    QVERIFY2(r.exitCode == 0, r.err);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
    struct stat st {
    };
    QVERIFY(stat(real, &st) == 0 && (st.st_mode & 07777) == 0640);
    QVERIFY(!root || (st.st_uid == 65534 && st.st_gid == 65534));
    QCOMPARE(complaints(target), QStringList());
    QCOMPARE(entries("real"), QStringList{"clip.flv"});
}

void TestFlvmdiFiles::fileOver4GiB()
{
    // 300 tags of 15 MiB whose bodies are holes past their first bytes: the
    // 4.4 GiB file costs little disk and time, and flvmdi keeps the holes.
    const QString file = path("huge.flv");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(flvHeader(false, true)) == 13);
    const int payload = 15 << 20, tags = 300;
    for (int i = 0; i < tags; ++i) {
        const QByteArray body = h263(i % 2 == 0, 320, 240);
        QVERIFY(
            f.write(tag(9, i * 1000, body).left(11 + body.size()).replace(1, 3, be(payload, 3))));
        QVERIFY(f.seek(f.pos() + payload - body.size()) && f.write(be(11 + payload, 4)) == 4);
    }
    f.close();
    QVERIFY(f.size() > (qint64(1) << 32));
    const Run r = flvmdi({file});
    QVERIFY2(r.exitCode == 0, r.err);
    QCOMPARE(complaints(file), QStringList()); // key frame positions included
    const QJsonObject md = metadata(file);
    QCOMPARE(md.value("filesize").toDouble(), double(f.size()));
    QCOMPARE(md.value("lasttimestamp").toDouble(), tags - 1.0);
    const QJsonArray at = md["keyframes"]["filepositions"].toArray();
    QVERIFY(at.size() == tags / 2 && at.last().toDouble() > double(qint64(1) << 32));
}

QTEST_GUILESS_MAIN(TestFlvmdiFiles)
#include "test_flvmdi_files.moc"
