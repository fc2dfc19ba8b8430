// Helpers shared by the encoder front-end tests: run the built front-end and
// the real FFmpeg programs, make tiny sources, look at the results.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTest>

namespace enc
{

inline const QString frontEnd = QStringLiteral(ENCODER_PATH);
inline const QString colourTable = QStringLiteral(RGB_TABLE_PATH);
inline const QString dejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

struct Result {
    int code = -1;
    bool crashed = false;
    QByteArray out, err;
};

inline QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("KESTREL_FFMPEG");
    env.remove("KESTREL_FFPROBE");
    env.remove("KESTREL_ENCODER_FRONTEND");
    return env;
}

inline Result run(const QString& program, const QStringList& args, const QString& workDir = {},
                  const QProcessEnvironment& env = cleanEnvironment())
{
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start();
    Result r;
    if (!p.waitForStarted() || !p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.crashed = p.exitStatus() == QProcess::CrashExit;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline Result runFrontEnd(const QStringList& args, const QString& workDir = {},
                          const QProcessEnvironment& env = cleanEnvironment())
{
    return run(frontEnd, args, workDir, env);
}

// Makes a source with FFmpeg's generators; VIDEO and AUDIO are lavfi graphs
// ("" for none), EXTRA are output options.
inline void makeSource(const QString& path, const QString& video, const QString& audio,
                       const QStringList& extra = {})
{
    QStringList args = {"-nostdin", "-v", "error", "-y"};
    if (!video.isEmpty())
        args << "-f"
             << "lavfi"
             << "-i" << video;
    if (!audio.isEmpty())
        args << "-f"
             << "lavfi"
             << "-i" << audio;
    args << extra << "file:" + path;
    const Result r = run("ffmpeg", args);
    QVERIFY2(r.code == 0, r.err.constData());
}

// ffprobe's description of PATH (streams and format).
inline QJsonObject probe(const QString& path)
{
    const Result r = run(
        "ffprobe", {"-v", "error", "-of", "json", "-show_streams", "-show_format", "file:" + path});
    return QJsonDocument::fromJson(r.out).object();
}

inline QJsonObject stream(const QJsonObject& probed, const QString& type)
{
    for (const auto& s : probed["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == type)
            return s.toObject();
    return {};
}

// The measured MP3 bitrate (kbit/s) of the first audio stream of PATH, from
// the sizes of its frames (1152 samples at 32 kHz and above, else 576).
inline double measuredMp3Kbps(const QString& path, int sampleRate)
{
    const Result r = run("ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries",
                                     "packet=size", "-of", "csv=p=0", "file:" + path});
    qint64 bytes = 0;
    int frames = 0;
    for (const QByteArray& line : r.out.split('\n'))
        if (!line.trimmed().isEmpty()) {
            bytes += line.trimmed().toLongLong();
            ++frames;
        }
    if (frames == 0)
        return 0;
    const double samples = sampleRate >= 32000 ? 1152 : 576;
    return bytes * 8.0 / (frames * samples / sampleRate) / 1000.0;
}

// Frame N of PATH as raw RGB bytes.
inline QByteArray frameRgb(const QString& path, int n = 0)
{
    const Result r = run("ffmpeg", {"-nostdin", "-v", "error", "-i", "file:" + path, "-vf",
                                    QString("select=eq(n\\,%1)").arg(n), "-frames:v", "1", "-f",
                                    "rawvideo", "-pix_fmt", "rgb24", "-"});
    return r.out;
}

// Every file and folder below DIR, as paths relative to it.
inline QSet<QString> listing(const QString& dir)
{
    QSet<QString> names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(QDir(dir).relativeFilePath(it.next()));
    return names;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Reads a probe report the way the window does: the last line holding
// "Video:" whose third ":"-field holds an "x" gives width and height.
inline QSize windowReadsSize(const QByteArray& report)
{
    QSize size;
    for (QByteArray line : report.split('\n')) {
        line.replace('\r', "");
        if (!line.contains("Video:"))
            continue;
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3 || !fields[2].contains('x'))
            continue;
        const QList<QByteArray> pieces = fields[2].split('x');
        QByteArray w = pieces[0].right(4).trimmed();
        QByteArray h =
            pieces[1].size() > 3 && pieces[1][3] == ',' ? pieces[1].left(3) : pieces[1].left(4);
        h = h.trimmed();
        if (h.endsWith(','))
            h.chop(1);
        bool okW = false, okH = false;
        const int width = w.trimmed().toInt(&okW), height = h.trimmed().toInt(&okH);
        if (okW && okH)
            size = QSize(width, height);
    }
    return size;
}

inline QStringList corpus(const QString& file)
{
    QStringList entries;
    for (const QByteArray& line : readAll(QStringLiteral(CORPUS_DIR "/") + file).split('\n'))
        if (!line.isEmpty())
            entries << QString::fromUtf8(line);
    return entries;
}

} // namespace enc
