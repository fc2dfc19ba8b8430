// flvmdi's tests. On files made byte by byte: broken files are refused and
// left as they were; unusual ones are described right, their other tags kept;
// a stopped or killed run, a full disk, a read-only folder or a file changed
// meanwhile never cost the original, and nothing of the new file stays. On
// real encodes of Debian's ffmpeg, checked by the peers: flvmeta finds
// nothing wrong, ffprobe agrees on picture, sound and duration.
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct Run {
    int exitCode = -1; // -1: ended by a signal
    QByteArray out, err;
};

// Runs `program` with the NAME=VALUE entries of `env` added to its
// environment; `started` gets its process id once it runs.
Run run(const QString& program, const QStringList& args, const QStringList& env = {},
        const std::function<void()>& childSetup = {},
        const std::function<void(qint64)>& started = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& v : env)
        e.insert(v.section('=', 0, 0), v.section('=', 1));
    p.setProcessEnvironment(e);
    p.setChildProcessModifier(childSetup);
    p.start(program, args);
    p.closeWriteChannel(); // ffmpeg would wait for commands
    if (p.waitForStarted() && started)
        started(p.processId());
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
}

QByteArray be(quint64 v, int n) // big-endian
{
    QByteArray b;
    for (int i = n - 1; i >= 0; --i)
        b.append(char(v >> (8 * i)));
    return b;
}

const auto be24 = [](const QByteArray& d, qint64 at) {
    return quint32(quint8(d[at]) << 16 | quint8(d[at + 1]) << 8 | quint8(d[at + 2]));
};
const auto afterMetadata = [](const QByteArray& f) { return 28 + be24(f, 14); }; // header and tag

const auto flvHeader = [](bool audio, bool video) {
    return QByteArray("FLV\x01", 4) + char((audio ? 4 : 0) | (video ? 1 : 0)) + be(9, 4) + be(0, 4);
};
QByteArray tag(int type, quint32 ms, const QByteArray& body) // with its back-pointer
{
    return char(type) + be(body.size(), 3) + be(ms & 0xFFFFFF, 3) + char(ms >> 24) + be(0, 3) +
           body + be(11 + body.size(), 4);
}

const auto scriptTag = [](const QByteArray& name, const QByteArray& amf = {}) {
    return tag(18, 0, '\x02' + be(name.size(), 2) + name + amf);
};

// A Sorenson H.263 picture of a custom 16-bit size: start code, version 0,
// temporal reference, size type 1, width, height, picture type.
QByteArray h263(bool key, int w, int h)
{
    return char(key ? 0x12 : 0x22) + QByteArray("\0\0\x80\0", 4) + char(0x80 | w >> 9) +
           char(w >> 1) + char((w & 1) << 7 | h >> 9) + char(h >> 1) +
           char((h & 1) << 7 | (key ? 0 : 0x20)) + QByteArray(20, '\x55');
}

const auto key = [](quint32 ms) { return tag(9, ms, h263(true, 160, 90)); };
const auto inter = [](quint32 ms) { return tag(9, ms, h263(false, 160, 90)); };
// MPEG-1 layer 3, 44.1 kHz, stereo.
const auto sound = [](quint32 ms) { return tag(8, ms, QByteArray::fromHex("2ffffb9004") + "abc"); };

// 25 fps video with a key frame every 10 frames, and audio.
QByteArray goodFile(int frames = 30)
{
    QByteArray f = flvHeader(true, true);
    for (int i = 0; i < frames; ++i)
        f += tag(9, i * 40, h263(i % 10 == 0, 160, 90)) + sound(i * 40);
    return f;
}

const auto metadata = [](const QString& file) { // as flvmeta reads it
    return QJsonDocument::fromJson(run("flvmeta", {"-D", "-j", file}).out).object();
};

// The errors and metadata warnings (W8...) of flvmeta --check on `file`,
// less those that dispute one of the `allowed` fields.
QStringList complaints(const QString& file, const QStringList& allowed = {})
{
    QStringList found;
    for (const QString& line : QString(run("flvmeta", {"--check", file}).out).split('\n'))
        if ((line.contains(" error E") || line.contains("warning W8")) &&
            std::none_of(allowed.begin(), allowed.end(),
                         [&](const QString& a) { return line.contains(a + " should be"); }))
            found << line;
    return found;
}

QByteArray withoutDate(QByteArray f)
{
    const qint64 at = f.indexOf("metadatadate\x0b");
    return at < 0 ? f : f.replace(at + 13, 8, QByteArray(8, 0));
}

// strace gives flvmdi `signal` on entry to the system call `at`, noting
// what it did in `log`.
Run signalAt(const QString& at, const QString& signal, const QString& file, const QStringList& env,
             const QString& log = "/dev/null", const std::function<void(qint64)>& started = {})
{
    const QString call = at.section(':', 0, 0),
                  inject = QString(at).insert(call.size(), ":signal=" + signal);
    return run("strace",
               {"-f", "-qq", "-o", log, "-e", "trace=" + call, "-e", "inject=" + inject,
                FLVMDI_PATH, file},
               env, {}, started);
}

QString probe(const QString& file, const QString& stream, const QString& entries)
{
    return run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries", entries,
                           "-of", "csv=p=0", file})
        .out.trimmed();
}

} // namespace

class TestFlvmdi : public QObject
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
    void realEncodes();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QStringList entries(const QString& sub = {}) const
    {
        return QDir(path(sub)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestFlvmdi::brokenFiles()
{
    const QByteArray good = goodFile(3), one = flvHeader(true, true) + key(0);
    const QList<std::pair<QByteArray, QString>> rows{
        {{}, "not an FLV file"},
        {QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16), "not an FLV file"},
        {QByteArray(good).replace(3, 1, "\x02"), "unsupported FLV version 2"},
        {one.left(9), "FLV header only"},
        {one.left(13), "no audio or video tags"},
        {flvHeader(false, false) + scriptTag("onCuePoint"), "no audio or video tags"},
        {good + inter(200).left(6), QString("truncated tag header at byte %1").arg(good.size())},
        {good + inter(200).left(20), "bytes but only 9 remain"},
        {QByteArray(one).replace(16, 1, "\x23"), "at byte 13 declares"},
        {QByteArray(one).replace(14, 3, "\xFF\xFF\xFF"), "declares 16777215 bytes"},
        {one.chopped(2), "truncated back-pointer"},
        {one.left(13) + tag(18, 0, QByteArray::fromHex("05000141")) + good.mid(13),
         "tag at byte 13 is not AMF0"}};
    const QString file = path("in.flv");
    for (const auto& [bytes, reason] : rows) {
        QVERIFY(writeAll(file, bytes));
        const Run r = run(FLVMDI_PATH, {file});
        QVERIFY2(r.exitCode == 2 && r.err.startsWith("flvmdi: " + QFile::encodeName(file) + ": ") &&
                     r.err.contains(reason.toUtf8()) && r.err.count('\n') == 1,
                 qPrintable(reason + " / " + r.err));
        QCOMPARE(run(FLVMDI_PATH, {"--print", file}).exitCode, 2);
        QCOMPARE(readAll(file), bytes);
        QCOMPARE(entries(), QStringList{"in.flv"});
    }
}

void TestFlvmdi::unusualFiles()
{
    struct Row {
        QList<QByteArray> tags; // behind a header whose flags say no audio, no video
        QString expected;       // NAME=VALUE ..., true and false as 1 and 0
        int chop = 0;           // bytes missing at the end
    };
    auto hex = [](const char* h) { return QByteArray::fromHex(h); };
    const quint32 big = 0xFFFFD8; // the time stamps cross 24 bits
    const QList<Row> rows{
        {{key(big), inter(big + 40), key(big + 80)},
         "lasttimestamp=16777.256 duration=16777.296 lastkeyframetimestamp=16777.256"},
        {{key(0), inter(40), inter(80), key(120), inter(40), inter(80)},
         "lasttimestamp=0.12 duration=0.16 framerate=25 canSeekToEnd=0"},
        {{key(0), inter(40), key(3600000), inter(3600040)}, "duration=3600.08 framerate=25"},
        {{key(0), key(60000), key(120000)}, "duration=180 framerate=0.0166666666666667"},
        {{key(0), tag(9, 20, {}), tag(8, 20, {}), tag(18, 20, {}), tag(7, 30, "a"), inter(40)},
         "duration=0.08 videosize=93 width=160 height=90 audiocodecid=0"}, // empty and unknown tags
                                                                           // kept
        {{key(0)}, "duration=0 framerate=0 hasKeyframes=1 canSeekToEnd=1 hasAudio=0"},
        {{sound(0), sound(26), sound(52)},
         "hasVideo=0 audiosamplerate=44100 stereo=1 hasKeyframes=0 duration=0.078"},
        {{scriptTag("onMetaData", hex("080000000000000009")), key(0),
          scriptTag("onCuePoint", "\x05"), inter(40), scriptTag("onMetaData", "\x05")},
         "duration=0.08"},
        {{key(0), inter(40)}, "duration=0.08", 4}, // last back-pointer missing
        // VP6: a key frame tag whose picture says inter frame, a size cut by
        // the adjustment byte, one behind a coefficient offset, one behind
        // the alpha offset.
        {{tag(9, 0, hex("140080 36090c090c")), tag(9, 40, hex("141200 36090c090c"))},
         "width=191 height=142 videocodecid=4"},
        {{tag(9, 0, hex("140001 3600 10090c090c"))}, "width=192 height=144"},
        {{tag(9, 0, hex("1500000020 0036090c090c"))}, "width=192 height=144 videocodecid=5"},
        // Flags of 22 kHz mono before bytes that are no MPEG header; AAC
        // with its sample rate written out.
        {{tag(8, 0, hex("2afefb9004"))}, "audiosamplerate=22050 stereo=0"},
        {{tag(8, 0, hex("af00178001f410")), tag(8, 0, hex("af0121"))},
         "audiosamplerate=1000 stereo=1 audiocodecid=10"},
    };
    const QString file = path("in.flv");
    for (const Row& row : rows) {
        QVERIFY(writeAll(file, (flvHeader(false, false) + row.tags.join()).chopped(row.chop)));
        const Run r = run(FLVMDI_PATH, {file});
        QVERIFY2(r.exitCode == 0 && entries() == QStringList{"in.flv"}, qPrintable(row.expected));
        // Header, our onMetaData, then every other tag unchanged and in order.
        const QByteArray out = readAll(file);
        QByteArray kept, types;
        for (const QByteArray& t : row.tags) {
            types += t[0];
            kept += t.mid(11, 13) == QByteArray("\x02\0\x0aonMetaData", 13) ? QByteArray() : t;
        }
        QCOMPARE(out.left(13), flvHeader(types.contains(8), types.contains(9)));
        QCOMPARE(out.mid(afterMetadata(out)).toHex(), kept.toHex());
        const QJsonObject md = metadata(file);
        QCOMPARE(md["filesize"].toDouble(), double(out.size()));
        for (const QString& pair : row.expected.split(' ')) {
            const double value = md[pair.section('=', 0, 0)].toVariant().toDouble();
            QVERIFY2(qAbs(value - pair.section('=', 1).toDouble()) < 1e-9, qPrintable(pair));
        }
    }
}

void TestFlvmdi::stoppedRuns()
{
    // Where the signal lands, if the new file is named, if it then replaced
    // the original, if something stays until the next run in the folder.
    const QList<std::tuple<QString, QString, bool, bool, bool>> rows{
        {"pwrite64", "KILL", false, false, false}, {"fsync", "KILL", false, false, false},
        {"rename", "KILL", false, false, true},    {"fsync:when=2", "KILL", false, true, false},
        {"linkat", "HUP", false, true, false},     {"pwrite64", "KILL", true, false, true},
        {"rename", "KILL", true, false, true},     {"pwrite64", "TERM", true, false, false},
        {"fsync", "INT", true, false, false},      {"rename", "HUP", true, true, false}};
    const QString file = path("in.flv");
    const QByteArray bytes = goodFile();
    QVERIFY(writeAll(file, bytes) && run(FLVMDI_PATH, {file}).exitCode == 0);
    const QByteArray done = withoutDate(readAll(file));
    // The next run removes what a gone process of this host left, and only that.
    qint64 gone = 0;
    run("true", {}, {}, {}, [&gone](qint64 pid) { gone = pid; });
    const QString mark = ".kestrel-scratch@%1@%2@abcdef", host = QSysInfo::machineHostName();
    QStringList others{".a" + mark.arg("elsewhere").arg(gone), ".b" + mark.arg(host).arg(getpid()),
                       ".c.flvmdi-abcdef", "in.flv"};
    for (const QString& o : others)
        QVERIFY(o == "in.flv" || writeAll(path(o), "x"));
    others.sort();
    for (const auto& [at, signal, named, replaced, leftover] : rows) {
        const QStringList env{named ? "KESTREL_SCRATCH_NAMED=1" : "KESTREL_SCRATCH_NAMED="};
        const QString row = QString("%1 at %2%3").arg(signal, at, named ? ", named" : "");
        QVERIFY(writeAll(file, bytes));
        QVERIFY2(signalAt(at, signal, file, env).exitCode == -1, qPrintable(row));
        QVERIFY2(withoutDate(readAll(file)) == (replaced ? done : bytes), qPrintable(row));
        QVERIFY2(entries().size() == others.size() + leftover, qPrintable(row));
        QCOMPARE(run(FLVMDI_PATH, {file}, env).exitCode, 0);
        QVERIFY2(entries() == others, qPrintable(row + ": " + entries().join(", ")));
    }
}

void TestFlvmdi::failures()
{
    const QString file = path("in.flv");
    const QStringList named{"KESTREL_SCRATCH_NAMED=1"};
    for (const QString failure : {"full disk", "read-only folder", "changed meanwhile"}) {
        QByteArray bytes = goodFile(3000), message = "cannot write";
        QVERIFY(writeAll(file, bytes));
        Run r;
        if (failure == "full disk") {
            // A file-size limit fails every write past 64 KiB as a full disk would.
            r = run(FLVMDI_PATH, {file}, named, [] {
                const rlimit lim{65536, 65536};
                setrlimit(RLIMIT_FSIZE, &lim);
            });
            message = "cannot write the new file: File too large";
        } else if (failure == "read-only folder") {
            // A read-only bind mount in a namespace of its own: root cannot write.
            r = run("unshare",
                    {"-rm", "sh", "-c", R"(mount --bind -o ro "$1" "$1" && exec "$2" "$3")", "sh",
                     dir_->path(), FLVMDI_PATH, file});
            QVERIFY2(!r.err.contains("unshare") && !r.err.contains("mount"), r.err);
        } else {
            // Stopped before syncing the new file while the file grows.
            bytes += "more";
            message = "the file changed while it was being read";
            QTemporaryFile log;
            QVERIFY(log.open());
            r = signalAt("fsync:when=1", "STOP", file, named, log.fileName(), [&](qint64) {
                QByteArray stopped; // "PID --- stopped by SIGSTOP ---"
                (void)QTest::qWaitFor(
                    [&] { return (stopped = readAll(log.fileName())).contains("stopped by"); },
                    60000);
                QFile f(file);
                if (f.open(QIODevice::Append))
                    f.write("more");
                f.close();
                kill(stopped.split(' ').first().toInt(), SIGCONT);
            });
        }
        QVERIFY2(r.exitCode == 1 && r.err.startsWith("flvmdi: " + QFile::encodeName(file) + ": ") &&
                     r.err.contains(message),
                 qPrintable(failure + ": " + r.err));
        QCOMPARE(readAll(file), bytes);
        QCOMPARE(entries(), QStringList{"in.flv"});
    }
}

void TestFlvmdi::commandLine()
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
        const Run r = run(FLVMDI_PATH, args.replaceInStrings("@", dir_->path()));
        QVERIFY2(r.exitCode == exitCode &&
                     r.err.startsWith(err.replace("@", dir_->path()).toUtf8()) &&
                     err.isEmpty() == r.err.isEmpty() && r.out.contains(out.toUtf8()),
                 r.err);
    }
}

void TestFlvmdi::hostileNames()
{
    // Each name (and one of 250 bytes) as a folder and, with ".flv", as the
    // file in it, given after "--"; the new file's scratch name is made from it.
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

void TestFlvmdi::linkModeAndOwner()
{
    QVERIFY(QDir(dir_->path()).mkdir("real"));
    const QString target = path("real/clip.flv"), link = path("link.flv");
    const QByteArray real = QFile::encodeName(target);
    const bool root = geteuid() == 0;
    QVERIFY(writeAll(target, goodFile()) && chmod(real, 0640) == 0);
    QVERIFY(!root || chown(real, 65534, 65534) == 0);
    QVERIFY(QFile::link("real/clip.flv", link));
    const Run r = run(FLVMDI_PATH, {link});
    QVERIFY2(r.exitCode == 0, r.err);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
    struct stat st;
    QVERIFY(stat(real, &st) == 0 && (st.st_mode & 07777) == 0640);
    QVERIFY(!root || (st.st_uid == 65534 && st.st_gid == 65534));
    QCOMPARE(complaints(target), QStringList());
    QCOMPARE(entries("real"), QStringList{"clip.flv"});
}

void TestFlvmdi::fileOver4GiB()
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
    const Run r = run(FLVMDI_PATH, {file});
    QVERIFY2(r.exitCode == 0, r.err);
    QCOMPARE(complaints(file), QStringList()); // key frame positions included
    const QJsonObject md = metadata(file);
    QCOMPARE(md["filesize"].toDouble(), double(f.size()));
    QCOMPARE(md["lasttimestamp"].toDouble(), tags - 1.0);
    const QJsonArray at = md["keyframes"]["filepositions"].toArray();
    QVERIFY(at.size() == tags / 2 && at.last().toDouble() > double(qint64(1) << 32));
}

void TestFlvmdi::realEncodes()
{
    // Picture size, frame rate and seconds; sound rate and seconds; codecs;
    // the injector that wrote the file's metadata before ours.
    const QString mp3 = "-c:v flv1 -g 12 -c:a libmp3lame", x264 = "-c:v libx264 -preset ultrafast";
    const QList<std::tuple<QString, QString, QString, QString>> rows{
        {"176x144:rate=25:duration=3", "22050:duration=3", mp3, ""},
        {"320x240:rate=15:duration=3", "44100:duration=3", mp3 + " -ac 2", "yamdi"},
        {"100x60:rate=30:duration=2", "", mp3, "flvmeta"}, // an 8-bit picture size
        {"640x360:rate=10:duration=2", "11025:duration=2", mp3, ""},
        {"", "22050:duration=3", mp3, ""},
        {"200x150:rate=25:duration=2", "44100:duration=2", x264 + " -g 10 -c:a aac", ""}, // cropped
        {"", "48000:duration=2", "-c:a aac", ""},
        {"203x151:rate=25:duration=1", "", x264 + " -pix_fmt yuv444p", ""},
        {"320x180:rate=25:duration=1", "", x264 + " -pix_fmt yuv420p -flags +ildct+ilme", ""}};
    for (const auto& [video, audio, codecs, before] : rows) {
        const QString file = path("encode.flv"),
                      sources = (video.isEmpty() ? "" : " -f lavfi -i testsrc=size=" + video) +
                                (audio.isEmpty() ? "" : " -f lavfi -i sine=sample_rate=" + audio);
        QVERIFY(run("ffmpeg", ("-y -v error" + sources + " " + codecs + " " + file).split(' '))
                    .exitCode == 0);
        if (!before.isEmpty()) {
            const QStringList args = before == "yamdi" ? QStringList{"-i", file, "-o", file + "2"}
                                                       : QStringList{"-U", file, file + "2"};
            QVERIFY(run(before, args).exitCode == 0 && QFile::remove(file) &&
                    QFile::rename(file + "2", file));
        }
        const QByteArray input = readAll(file);
        const Run printed = run(FLVMDI_PATH, {"--print", file}), r = run(FLVMDI_PATH, {file});
        QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err);

        // flvmeta's known differences: with H.264 it ends the file at the end
        // of sequence behind the last audio (so its data rates differ), counts
        // the AVC header and end as frames and misreads 4:4:4 and interlaced
        // sizes; with AAC it believes the flags' 44.1 kHz stereo.
        const QString quirks =
            QString(codecs.contains("x264") ? "datarate framerate width height " : "") +
            (codecs.contains("aac") ? "audiosamplerate stereo" : "");
        QCOMPARE(complaints(file, quirks.split(' ', Qt::SkipEmptyParts)), QStringList());
        const QByteArray out = readAll(file);
        const QJsonObject md = metadata(file);
        QVERIFY(md["filesize"].toDouble() == out.size() && out.count("onMetaData") == 1);
        QCOMPARE(be24(out, 39), quint32(md.size())); // the count of the ECMA array
        if (!video.isEmpty())
            QCOMPARE(QString("%1,%2").arg(md["width"].toInt()).arg(md["height"].toInt()),
                     probe(file, "v", "stream=width,height"));
        if (!audio.isEmpty())
            QCOMPARE(
                QString("%1,%2").arg(md["audiosamplerate"].toInt()).arg(md["stereo"].toBool() + 1),
                probe(file, "a", "stream=sample_rate,channels"));
        // The earlier onMetaData comes first: everything after it is kept.
        QCOMPARE(out.mid(afterMetadata(out)), input.mid(afterMetadata(input)));

        // The index: every video key frame tag, one per time, at its place.
        QJsonArray positions, times;
        for (qint64 at = afterMetadata(out); at < out.size(); at += 15 + be24(out, at + 1)) {
            const double s = (be24(out, at + 4) | quint8(out[at + 7]) << 24) / 1000.0;
            if (out[at] == 9 && (quint8(out[at + 11]) >> 4) == 1 &&
                (times.isEmpty() || times.last().toDouble() != s)) {
                positions << double(at);
                times << s;
            }
        }
        QCOMPARE(md["keyframes"]["filepositions"].toArray(), positions);
        QCOMPARE(md["keyframes"]["times"].toArray(), times);

        // ffprobe takes our duration; its last packet is our last time stamp,
        // and the duration adds at most one frame to it.
        const double duration = md["duration"].toDouble();
        QVERIFY(qAbs(probe(file, "", "format=duration").toDouble() - duration) < 0.0005);
        double last = 0;
        for (const QString& pts : probe(file, "", "packet=pts_time").split('\n'))
            last = qMax(last, pts.toDouble());
        QVERIFY(qAbs(md["lasttimestamp"].toDouble() - last) < 0.0005);
        const double frame = video.isEmpty() ? 0.03 : 1 / md["framerate"].toDouble();
        QVERIFY(duration >= last && duration <= last + frame + 0.001);

        // --print showed what was then written.
        const QJsonObject json = QJsonDocument::fromJson(printed.out).object();
        QCOMPARE(json.keys(), md.keys());
        QCOMPARE(json["keyframes"]["filepositions"].toArray(), positions);
        QVERIFY(qAbs(json["duration"].toDouble() - duration) < 1e-9 &&
                json["filesize"] == md["filesize"]);
    }
}

QTEST_GUILESS_MAIN(TestFlvmdi)
#include "test_flvmdi.moc"
