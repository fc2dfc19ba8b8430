// What the tests of the two command-line tools share: programs, files, ffprobe and tables.
#pragma once

#include <QtTest> // and all of QtCore

namespace ToolTest
{

struct Run {
    int code = -1; // also when a signal ended it, or it hung for 5 minutes
    QByteArray out, err;
};

// PROGRAM with ARGS in WORKDIR, ENV changing the environment (NAME=VALUE, or NAME: removed).
inline Run run(const QString& program, const QStringList& args, const QStringList& env = {},
               const QString& workDir = {}, const std::function<void(qint64)>& started = {})
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& v : env)
        v.contains('=') ? e.insert(v.section('=', 0, 0), v.section('=', 1)) : e.remove(v);
    QProcess p;
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(workDir);
    p.start(program, args);
    p.closeWriteChannel(); // ffmpeg would wait for commands
    if (p.waitForStarted() && started)
        started(p.processId());
    const bool ended = p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit;
    p.kill();
    p.waitForFinished();
    return {ended ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
}

// Every file and folder in DIR and its folders, named from DIR.
inline QSet<QString> listing(const QString& dir)
{
    QSet<QString> names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(QDir(dir).relativeFilePath(it.next()));
    return names;
}

// ENTRIES ("stream=width,height") of FILE's streams that STREAM selects, as ffprobe reads them.
inline QString probe(const QString& file, const QString& stream, const QString& entries)
{
    return run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries", entries,
                           "-of", "csv=p=0", "file:" + file})
        .out.trimmed();
}

// The table at PATH as test data "row": lines but comments split at SEPARATOR, NAMED by field 1.
inline void addRows(const QString& path, const QString& separator = " => ", bool named = false)
{
    QTest::addColumn<QStringList>("row");
    const QString text = QString::fromUtf8(readAll(path));
    QVERIFY2(!text.isEmpty(), qPrintable(path));
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const QStringList row = line.split(QRegularExpression(separator));
        if (!line.startsWith('#'))
            QTest::newRow(qPrintable(named ? row[0] : line)) << row.mid(named);
    }
}

// The entries of a hostile-input list of tests/corpus, one a line.
inline QStringList corpus(const QString& name)
{
    const QStringList entries =
        QString::fromUtf8(readAll(CORPUS_DIR "/" + name)).split('\n', Qt::SkipEmptyParts);
    if (entries.isEmpty())
        qFatal("missing test corpus %s", qPrintable(name));
    return entries;
}

} // namespace ToolTest
