#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

// The log of one job: each command line, what each program printed, its exit
// code and how long it ran. One file per job, named by its start time (and,
// for a job of a batch, the process id and the job's number), in the user's
// state folder (mode 0700, files 0600). Only the newest 20 are kept, but a
// log still open for its job (any process's) and the batch logs of this
// process are never removed.
// Each program's output stops at 2 MiB, but the start and end lines of every
// program are always written, and the file is synced at each program's end. A
// run of status lines that overwrite each other (ended by CR) is kept as its
// last line. A log that cannot be written just stays empty: it never stands in
// a job's way.
class JobLog
{
public:
    // $XDG_STATE_HOME/kestrel/logs, else ~/.local/state/kestrel/logs.
    static QString DefaultFolder();
    // What one program's output may take in the log.
    static constexpr qint64 MaxBytes = 2 * 1024 * 1024;
    static constexpr int KeptLogs = 20;
    static constexpr int DetailLines = 20;

    // batchNumber: the job's number in its batch, from 1; 0 for a job alone.
    void Begin(const QString& folder, const QDateTime& start, int batchNumber = 0);
    void ProgramStarted(const QString& commandLine);
    void Output(const QByteArray& chunk);
    void ProgramEnded(const QString& outcome, qint64 milliseconds);
    // A line of its own, with the time, between programs.
    void Note(const QString& line);

    // Empty when the log could not be written.
    QString Path() const { return m_file.isOpen() ? m_file.fileName() : QString(); }
    // The running (or last) program's last lines and where the log is, for
    // the details of a failure message.
    QString Details() const;

private:
    static void prune(const QString& folder);
    void takeLine(const QByteArray& line);
    void write(const QByteArray& bytes);

    QFile m_file;
    QByteArray m_pending; // the line not ended yet
    QStringList m_lastLines;
    qint64 m_programBytes = 0; // what the running program's output took
};
