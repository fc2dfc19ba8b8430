// Helpers of the injector tests: running flvmdi, making FLV files (with
// ffmpeg or byte by byte) and reading them back with a parser of our own,
// independent of the injector's code.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

namespace flvtest
{

struct Tag {
    qint64 pos = 0; // offset of the tag header in the file
    int type = 0;
    quint32 size = 0;
    quint32 timeMs = 0;
    quint32 backPointer = 0; // the 4 bytes after the tag
    QByteArray bytes;        // header + body (without the back-pointer)
};

struct Parsed {
    bool ok = false;
    QString error;
    QByteArray header;
    QList<Tag> tags;
};

// Reads header and tags; `ok` is false for anything not well formed
// (including a back-pointer that does not match its tag).
Parsed parseFlv(const QByteArray& data);

// AMF0 values of an onMetaData body: numbers as double, ECMA arrays and
// objects as QVariantMap, strict arrays as QVariantList, dates as double ms.
QVariantMap decodeMetadata(const QByteArray& body, QString* error = nullptr);
// The body of the first onMetaData tag, or an empty array.
QByteArray metadataBody(const Parsed& p);

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out, err;
};

// Runs flvmdi with `args`; `childSetup` runs in the child before exec.
Run runFlvmdi(const QStringList& args, std::function<void()> childSetup = {});
// Runs any program; exit code -1 when it could not start.
Run runProgram(const QString& program, const QStringList& args);

QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& data);

// Byte-level building blocks.
QByteArray flvHeader(bool audio, bool video);
QByteArray tag(int type, quint32 timeMs, const QByteArray& body, qint64 backPointer = -1);
QByteArray scriptTag(const QString& name, const QByteArray& amfValues = {});
// A Sorenson H.263 key or inter frame body of `w` x `h` (custom size).
QByteArray h263Body(bool key, int w, int h, int payload = 20);
// An MP3 audio body (MPEG-1 layer 3, 44.1 kHz, stereo flags).
QByteArray mp3Body(int payload = 30);

} // namespace flvtest
