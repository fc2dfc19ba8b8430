// Helpers shared by the encoder front-end tests: run the built front-end and
// the real FFmpeg programs, make tiny sources, look at the results.
#pragma once

#include "pipeline/ProbeReport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace enc
{

inline const QString frontEnd = ENCODER_PATH, colourTable = RGB_TABLE_PATH,
                     dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Result {
    int code = -1; // -1 also when it crashed
    QByteArray out, err;
};

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

// The cache, runtime and temporary folders the front-end is given: "cache",
// "run" and "tmp" in a folder of each test program's own.
inline QString sandbox(const QString& name)
{
    static QTemporaryDir dir;
    static const bool made =
        QDir(dir.path()).mkpath("cache") && QDir(dir.path()).mkpath("tmp") &&
        QDir(dir.path()).mkpath("run") &&
        QFile::setPermissions(dir.filePath("run"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return made ? dir.filePath(name) : QString();
}

// What jobs left in the runtime and temporary folders.
inline QSet<QString> leftInSandbox()
{
    return listing(sandbox("run")) + listing(sandbox("tmp"));
}

// The environment of a front-end run, with NAME=VALUE settings added.
inline QProcessEnvironment environment(const QStringList& settings = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"KESTREL_FFMPEG", "KESTREL_FFPROBE", "KESTREL_ENCODER_FRONTEND", "KESTREL_SCRATCH_NAMED"})
        env.remove(name);
    env.insert("XDG_CACHE_HOME", sandbox("cache"));
    env.insert("XDG_RUNTIME_DIR", sandbox("run"));
    env.insert("TMPDIR", sandbox("tmp"));
    for (const QString& setting : settings)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return env;
}

// Runs PROGRAM (the front-end when empty) with ARGS in WORKDIR.
inline Result run(const QStringList& args, const QString& program = {}, const QString& workDir = {},
                  const QProcessEnvironment& env = environment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(program.isEmpty() ? frontEnd : program, args);
    Result r;
    if (p.waitForStarted() && p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    p.kill();
    p.waitForFinished();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// True when R is a refusal of the front-end's own: code 1 and one line
// "ffmpeg: ..." naming WHAT.
inline bool refused(const Result& r, const QByteArray& what)
{
    return r.code == 1 && r.err.startsWith("ffmpeg: ") && r.err.count('\n') == 1 &&
           r.err.contains(what);
}

// Makes a source with FFmpeg from ARGS, where each word holding "=" that is
// not an option names a lavfi graph as an input.
inline void makeSource(const QString& path, const QString& args)
{
    QStringList words = {"-nostdin", "-v", "error", "-y"};
    for (const QString& word : args.split(' ')) {
        if (!word.startsWith('-') && word.contains('='))
            words << "-f"
                  << "lavfi"
                  << "-i";
        words << word;
    }
    const Result r = run(words << "file:" + path, "ffmpeg");
    QVERIFY2(r.code == 0, r.err.constData());
}

// ffprobe's description of PATH: its format, or its first stream of TYPE.
inline QJsonObject probe(const QString& path, const QString& type = {})
{
    const Result r = run(
        {"-v", "error", "-of", "json", "-show_streams", "-show_format", "file:" + path}, "ffprobe");
    const QJsonObject probed = QJsonDocument::fromJson(r.out).object();
    for (const auto& s : probed["streams"].toArray())
        if (s.toObject()["codec_type"].toString() == type)
            return s.toObject();
    return type.isEmpty() ? probed["format"].toObject() : QJsonObject();
}

// The frame size the window reads from a probe report; invalid for none.
inline QSize sizeRead(const QByteArray& report)
{
    const std::optional<FrameSize> size = ParseProbeReport(report);
    return size ? QSize(size->width, size->height) : QSize();
}

inline QStringList corpus(const QString& file)
{
    return QString::fromUtf8(readAll(QStringLiteral(CORPUS_DIR "/") + file))
        .split('\n', Qt::SkipEmptyParts);
}

} // namespace enc
