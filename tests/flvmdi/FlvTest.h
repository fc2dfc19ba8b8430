// Helpers of the flvmdi tests: running programs, FLV files made byte by byte,
// and what the peers read in a file (flvmeta's dump and check).
#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <functional>

namespace flvtest
{

struct Run {
    int exitCode = -1; // -1: ended by a signal
    QByteArray out, err;
};

// Runs `program` with the NAME=VALUE entries of `env` added to its
// environment; `started` gets its process id once it runs.
inline Run run(const QString& program, const QStringList& args, const QStringList& env = {},
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
    if (p.waitForStarted() && started)
        started(p.processId());
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

inline Run flvmdi(const QStringList& args, const QStringList& env = {},
                  const std::function<void()>& childSetup = {})
{
    return run(FLVMDI_PATH, args, env, childSetup);
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
}

inline QByteArray be(quint64 v, int n) // big-endian
{
    QByteArray b;
    for (int i = n - 1; i >= 0; --i)
        b.append(char(v >> (8 * i)));
    return b;
}

inline quint32 be24(const QByteArray& d, qint64 at)
{
    return quint8(d[at]) << 16 | quint8(d[at + 1]) << 8 | quint8(d[at + 2]);
}

inline QByteArray flvHeader(bool audio, bool video)
{
    return QByteArray("FLV\x01", 4) + char((audio ? 4 : 0) | (video ? 1 : 0)) + be(9, 4) + be(0, 4);
}

// A tag and its back-pointer.
inline QByteArray tag(int type, quint32 ms, const QByteArray& body)
{
    return char(type) + be(body.size(), 3) + be(ms & 0xFFFFFF, 3) + char(ms >> 24) + be(0, 3) +
           body + be(11 + body.size(), 4);
}

inline QByteArray scriptTag(const QByteArray& name, const QByteArray& amf = {})
{
    return tag(18, 0, '\x02' + be(name.size(), 2) + name + amf);
}

// A Sorenson H.263 picture of a custom 16-bit size: start code, version 0,
// temporal reference, size type 1, width, height, picture type.
inline QByteArray h263(bool key, int w, int h, int payload = 20)
{
    return char(key ? 0x12 : 0x22) + QByteArray("\0\0\x80\0", 4) + char(0x80 | w >> 9) +
           char(w >> 1) + char((w & 1) << 7 | h >> 9) + char(h >> 1) +
           char((h & 1) << 7 | (key ? 0 : 0x20)) + QByteArray(payload, '\x55');
}

// MP3 sound: MPEG-1 layer 3, 44.1 kHz, stereo.
inline QByteArray mp3()
{
    return QByteArray("\x2F\xFF\xFB\x90\x04", 5) + QByteArray(30, 1);
}

// The onMetaData of `file` as flvmeta reads it.
inline QJsonObject metadata(const QString& file)
{
    return QJsonDocument::fromJson(run("flvmeta", {"-D", "-j", file}).out).object();
}

// The errors and metadata warnings (W8...) of flvmeta --check on `file`,
// less those that dispute one of the `allowed` fields.
inline QStringList complaints(const QString& file, const QStringList& allowed = {})
{
    QStringList found;
    for (const QString& line : QString(run("flvmeta", {"--check", file}).out).split('\n'))
        if ((line.contains(" error E") || line.contains("warning W8")) &&
            std::none_of(allowed.begin(), allowed.end(),
                         [&](const QString& a) { return line.contains(a + " should be"); }))
            found << line;
    return found;
}

} // namespace flvtest
