// flvmdi with the tables of this folder: broken files are refused and kept; a stopped run never
// costs the original nor leaves anything; real encodes satisfy flvmeta and ffprobe.
#include "../support/ToolTest.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ToolTest;

const auto be = [](quint64 v, int n) { // big-endian, n bytes
    return QByteArray::fromHex(QByteArray::number(v, 16).rightJustified(2 * n, '0').right(2 * n));
};

const auto be24 = [](const QByteArray& d, qint64 at) {
    return quint32(quint8(d[at]) << 16 | quint8(d[at + 1]) << 8 | quint8(d[at + 2]));
};
const auto afterMetadata = [](const QByteArray& f) { return 28 + be24(f, 14); }; // header and tag
const auto header = [](char flags) {
    return QByteArray("FLV\x01", 4) + flags + be(9, 4) + be(0, 4);
};

static QByteArray tag(int type, quint32 ms, const QByteArray& body) // with its back-pointer
{
    return char(type) + be(body.size(), 3) + be(ms & 0xFFFFFF, 3) + char(ms >> 24) + be(0, 3) +
           body + be(11 + body.size(), 4);
}

// A Sorenson H.263 picture: start code, version 0, time, size type 1, width, height, picture type.
static QByteArray h263(bool key, int w, int h)
{
    return char(key ? 0x12 : 0x22) + QByteArray("\0\0\x80\0", 4) + char(0x80 | w >> 9) +
           char(w >> 1) + char((w & 1) << 7 | h >> 9) + char(h >> 1) +
           char((h & 1) << 7 | (key ? 0 : 0x20)) + QByteArray(20, '\x55');
}

// The file a recipe of files.txt describes; `kept` gets its tags but onMetaData.
static QByteArray build(const QString& recipe, QByteArray* kept = nullptr)
{
    QByteArray f, add;
    for (const QString& step : recipe.split(' ', Qt::SkipEmptyParts)) {
        const QStringList p = step.split(':');
        const QString what = p[0].section('@', 0, 0);
        const quint32 ms = p[0].section('@', 1).toUInt();
        const auto hex = [&p](int i) { return QByteArray::fromHex(p.value(i).toLatin1()); };
        const QByteArray name = p.value(1).toLatin1();
        if (what == "keep") {
            f.chop(add.size() - p[1].toInt());
        } else if (what == "at") {
            f.replace(p[1].toInt(), hex(2).size(), hex(2));
        } else if (what == "flv" || what == "raw") {
            f += add = what == "flv" ? header(hex(1)[0]) : hex(1);
        } else {
            f += add = what == "sound"    ? tag(8, ms, QByteArray::fromHex("2ffffb9004") + "abc")
                       : what == "script" ? tag(18, 0, '\x02' + be(name.size(), 2) + name + hex(2))
                       : what.startsWith("tag") ? tag(what.mid(3).toInt(), ms, hex(1))
                                                : tag(9, ms, h263(what == "key", 160, 90));
            if (kept && name != "onMetaData")
                *kept += add;
        }
    }
    return f;
}

static QByteArray goodFile(int frames = 30) // 25 fps, a key frame every 10 frames, with sound
{
    QString recipe = "flv:05";
    for (int i = 0; i < frames; ++i)
        recipe += QString(" %1@%2 sound@%2").arg(i % 10 ? "inter" : "key").arg(i * 40);
    return build(recipe);
}

const auto metadata = [](const QString& file) { // as flvmeta reads it
    return QJsonDocument::fromJson(run("flvmeta", {"-D", "-j", file}).out).object();
};

// flvmeta --check's errors and metadata warnings (W8...) but those on one of the `allowed` fields.
static QStringList complaints(const QString& file, const QStringList& allowed = {})
{
    QStringList found;
    for (const QString& line : QString(run("flvmeta", {"--check", file}).out).split('\n'))
        if ((line.contains(" error E") || line.contains("warning W8")) &&
            std::none_of(allowed.begin(), allowed.end(),
                         [&](const QString& a) { return line.contains(a + ' '); }))
            found << line;
    return found;
}

static QByteArray withoutDate(QByteArray f)
{
    const qint64 at = f.indexOf("metadatadate\x0b");
    return at < 0 ? f : f.replace(at + 13, 8, QByteArray(8, 0));
}

class TestFlvmdi : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const QString& name) const { return dir_->filePath(name); }
    QSet<QString> entries(const QString& sub = {}) const { return listing(path(sub)); }

private slots:
    void init() { QVERIFY((dir_.reset(new QTemporaryDir), dir_->isValid())); }

    void madeFiles_data() { addRows(DATA_DIR "/files.txt", " *\\| *", true); }
    void madeFiles()
    {
        QFETCH(const QStringList, row); // recipe | outcome
        const QString file = path("in.flv");
        QByteArray kept, types;
        const QByteArray bytes = build(row[0], &kept);
        QVERIFY(writeFile(file, bytes));
        const Run r = run(FLVMDI_PATH, {file});
        const QByteArray out = readAll(file);
        QCOMPARE(entries(), QSet<QString>{"in.flv"});
        if (row[1].startsWith("refused: ")) {
            QCOMPARE(r.code, 2);
            QCOMPARE(r.err,
                     "flvmdi: " + QFile::encodeName(file) + ": " + row[1].mid(9).toUtf8() + '\n');
            QVERIFY(out == bytes && run(FLVMDI_PATH, {"--print", file}).code == 2);
            return;
        }
        QVERIFY2(r.code == 0, r.err);
        for (qint64 at = 0; at < kept.size(); at += 15 + be24(kept, at + 1))
            types += kept[at];
        QCOMPARE(out.left(13), header(char((types.contains(8) ? 4 : 0) | types.contains(9))));
        QCOMPARE(out.mid(afterMetadata(out)).toHex(), kept.toHex());
        const QJsonObject md = metadata(file);
        for (const QString& pair :
             (row[1] + " filesize=" + QString::number(out.size())).split(' ')) {
            const double value = md[pair.section('=', 0, 0)].toVariant().toDouble();
            QVERIFY2(qAbs(value - pair.section('=', 1).toDouble()) < 1e-9, qPrintable(pair));
        }
    }

    void unfinishedRuns_data() { addRows(DATA_DIR "/runs.txt", " *\\| *", true); }
    void unfinishedRuns()
    {
        QFETCH(const QStringList, row); // how | scratch | the file then | what stays | what it says
        const QString file = path("in.flv"), how = row[0];
        if (how == "read-only folder" && run("unshare", {"-rm", "true"}).code != 0)
            QSKIP("no user namespace can be made here (as in a chroot)");
        QByteArray bytes = goodFile(3000);
        QVERIFY(writeFile(file, bytes) && run(FLVMDI_PATH, {file}).code == 0);
        const QByteArray done = withoutDate(readAll(file));
        // The next run removes what a dead run left, not a file a live process holds, nor a name
        // of another host or user, or not wholly marked.
        const QString mark = ".kestrel-scratch@%1@1@abcdef", host = QSysInfo::machineHostName();
        QStringList others{".a" + mark.arg("elsewhere"), ".b" + mark.arg(host), ".c.flvmdi-abcdef",
                           ".e" + mark.arg(host) + "x", "in.flv"};
        if (geteuid() == 0)
            others.insert(3, ".d" + mark.arg(host));
        for (const QString& o : others)
            QVERIFY(o == "in.flv" || writeFile(path(o), "x"));
        QVERIFY(geteuid() != 0 || chown(QFile::encodeName(path(others[3])), 65534, 65534) == 0);
        flock lock{F_WRLCK, SEEK_SET, 0, 0, 0}; // held until the test ends
        QVERIFY(fcntl(open(QFile::encodeName(path(others[1])), O_RDWR), F_OFD_SETLK, &lock) == 0);
        const QStringList env{"KESTREL_SCRATCH_NAMED=" + QString(row[1] == "named" ? "1" : "")};
        QVERIFY(writeFile(file, bytes));
        QTemporaryFile log; // strace's, with "PID --- stopped by SIGSTOP ---"
        QVERIFY(log.open());
        const QString call = how.section(" at ", 1), signal = how.section(" at ", 0, 0);
        const auto grow = [&](qint64) { // once flvmdi has stopped, then it goes on
            if (signal == "STOP" &&
                QTest::qWaitFor([&] { return readAll(log.fileName()).contains("stopped by"); },
                                60000) &&
                writeFile(file, bytes += build("sound@1200")))
                kill(readAll(log.fileName()).split(' ').first().toInt(), SIGCONT);
        };
        Run r;
        if (how == "full disk")
            r = run("prlimit", {"--fsize=65536", FLVMDI_PATH, file}, env);
        else if (how == "read-only folder")
            r = run("unshare",
                    {"-rm", "sh", "-c", R"(mount --bind -o ro "$1" "$1" && exec "$2" "$3")", "sh",
                     dir_->path(), FLVMDI_PATH, file});
        else
            r = run("strace",
                    {"-f", "-qq", "-o", log.fileName(), "-e", "trace=" + call.section(':', 0, 0),
                     "-e", "inject=" + call + (signal[0] == 'E' ? ":error=" : ":signal=") + signal,
                     FLVMDI_PATH, file},
                    env, {}, grow);
        QCOMPARE(r.code, row[4].isEmpty() ? -1 : 1);
        QVERIFY2(row[4].isEmpty() || r.err == "flvmdi: " + file + ": " + row[4] + '\n', r.err);
        QVERIFY(withoutDate(readAll(file)) == (row[2] == "replaced" ? done : bytes));
        QCOMPARE(entries().size(), others.size() + (row[3] != "nothing"));
        QCOMPARE(run(FLVMDI_PATH, {file}, env).code, 0);
        QCOMPARE(entries(), QSet<QString>(others.begin(), others.end()));
    }

    void commandLine_data() { addRows(DATA_DIR "/command-lines.txt", " *\\| *", true); }
    void commandLine()
    {
        QFETCH(QStringList, row);
        row.replaceInStrings("@", dir_->path());
        const Run r = run(FLVMDI_PATH, row[0].split(' ', Qt::SkipEmptyParts));
        QCOMPARE(r.code, row[1].toInt());
        QVERIFY2(r.err.startsWith(row[2].toUtf8()) && row[2].isEmpty() == r.err.isEmpty(), r.err);
        QVERIFY2(r.out.contains(row[3].toUtf8()), r.out);
    }

    // Each name (and one of 250 bytes) as a folder and the file in it, the scratch name's base.
    void hostileNames()
    {
        for (const QString& name : corpus("hostile-names.txt") + QStringList{QString(250, 'n')}) {
            const QString file = name + "/" + name + ".flv";
            QVERIFY(QDir(dir_->path()).mkdir(name) && writeFile(path(file), goodFile()));
            const Run r = run(FLVMDI_PATH, {"--", file}, {"KESTREL_SCRATCH_NAMED=1"}, dir_->path());
            QVERIFY2(r.code == 0, qPrintable(name + ": " + r.err));
            QCOMPARE(entries(name), QSet<QString>{name + ".flv"});
            QVERIFY(metadata(path(file)).contains("keyframes"));
        }
    }

    // 300 tags of 15 MiB, holes past their first bytes (4.4 GiB that cost little), given through a
    // link: the file it points to is replaced, with its mode and owner.
    void fileOver4GiB()
    {
        QFile f(path("real/huge.flv"));
        QVERIFY(QDir(dir_->path()).mkdir("real") && QFile::link("real/huge.flv", path("link.flv")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(header(1)) == 13);
        const int payload = 15 << 20, tags = 300;
        for (int i = 0; i < tags; ++i) {
            const QByteArray body = h263(i % 2 == 0, 320, 240);
            QVERIFY(f.write(
                tag(9, i * 1000, body).left(11 + body.size()).replace(1, 3, be(payload, 3))));
            QVERIFY(f.seek(f.pos() + payload - body.size()) && f.write(be(11 + payload, 4)) == 4);
        }
        f.close();
        const QByteArray real = QFile::encodeName(f.fileName());
        const bool root = geteuid() == 0;
        QVERIFY(f.size() > (qint64(1) << 32) && chmod(real, 0640) == 0);
        QVERIFY(!root || chown(real, 65534, 65534) == 0);
        const Run r = run(FLVMDI_PATH, {path("link.flv")});
        QVERIFY2(r.code == 0, r.err);
        QCOMPARE(QFileInfo(path("link.flv")).symLinkTarget(), QFileInfo(f).absoluteFilePath());
        struct stat st;
        QVERIFY(stat(real, &st) == 0 && (st.st_mode & 07777) == 0640);
        QVERIFY(!root || (st.st_uid == 65534 && st.st_gid == 65534));
        QCOMPARE(complaints(f.fileName()), QStringList()); // size, times, key frame positions
        QCOMPARE(entries("real"), QSet<QString>{"huge.flv"});
        const QJsonArray at = metadata(f.fileName()).value("keyframes")["filepositions"].toArray();
        QVERIFY(at.size() == tags / 2 && at.last().toDouble() > double(qint64(1) << 32));
    }

    void realEncodes_data() { addRows(DATA_DIR "/encodes.txt", " *\\| *", true); }
    void realEncodes()
    {
        QFETCH(const QStringList, row); // ffmpeg's arguments | more of the command | where it errs
        const QString file = path("encode.flv"),
                      sh = "ffmpeg -y -v error " + row[0] + " @ " + row[1];
        QVERIFY(run("sh", {"-c", QString(sh).replace("@", '\'' + file + '\'')}).code == 0);
        const QByteArray input = readAll(file);
        const Run printed = run(FLVMDI_PATH, {"--print", file}), r = run(FLVMDI_PATH, {file});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), r.err);
        QCOMPARE(complaints(file, row[2].split(' ', Qt::SkipEmptyParts)), QStringList());
        const QByteArray out = readAll(file);
        const QJsonObject md = metadata(file);
        QCOMPARE(be24(out, 39), quint32(md.size())); // the count of the ECMA array
        if (row[0].contains("testsrc"))
            QCOMPARE(QString("%1,%2").arg(md["width"].toInt()).arg(md["height"].toInt()),
                     probe(file, "v", "stream=width,height"));
        if (row[0].contains("sine"))
            QCOMPARE(
                QString("%1,%2").arg(md["audiosamplerate"].toInt()).arg(md["stereo"].toBool() + 1),
                probe(file, "a", "stream=sample_rate,channels"));
        // The earlier onMetaData comes first: everything after it is kept.
        QCOMPARE(out.mid(afterMetadata(out)), input.mid(afterMetadata(input)));

        // The index: the video key frames as ffprobe reads them.
        QJsonArray positions, times;
        for (const QString& k : probe(file, "v", "packet=dts_time,pos,flags").split('\n'))
            if (k.section(',', 2).startsWith('K')) {
                times << k.section(',', 0, 0).toDouble();
                positions << k.section(',', 1, 1).toDouble();
            }
        QCOMPARE(md["keyframes"]["filepositions"].toArray(), positions);
        QCOMPARE(md["keyframes"]["times"].toArray(), times);

        // ffprobe takes our duration, which adds at most a packet's length to the last time stamp.
        const double duration = md["duration"].toDouble(), frame = 1 / md["framerate"].toDouble();
        QVERIFY(qAbs(probe(file, "", "format=duration").toDouble() - duration) < 0.0005);
        double last = 0, end = 0;
        for (const QString& p : probe(file, "", "packet=dts_time,duration_time").split('\n')) {
            const double dts = p.section(',', 0, 0).toDouble(),
                         length = p.section(',', 1).toDouble();
            last = qMax(last, dts);
            end = qMax(end, dts + (length > 0 ? length : frame));
        }
        QVERIFY(qAbs(md["lasttimestamp"].toDouble() - last) < 0.0005);
        QVERIFY(duration >= last && duration <= end + 0.001);

        // --print showed what was then written.
        const QJsonObject json = QJsonDocument::fromJson(printed.out).object();
        QCOMPARE(json.keys(), md.keys());
        QCOMPARE(json["keyframes"]["filepositions"].toArray(), positions);
        QVERIFY(qAbs(json["duration"].toDouble() - duration) < 1e-9 &&
                json["filesize"] == md["filesize"]);
    }
};

QTEST_GUILESS_MAIN(TestFlvmdi)
#include "test_flvmdi.moc"
