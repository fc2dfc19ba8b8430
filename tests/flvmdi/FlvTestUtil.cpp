#include "FlvTestUtil.h"

#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cstring>

namespace flvtest
{

static quint32 be(const QByteArray& d, qint64 pos, int n)
{
    quint32 v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | quint8(d[pos + i]);
    return v;
}

Parsed parseFlv(const QByteArray& d)
{
    Parsed p;
    if (d.size() < 13 || !d.startsWith("FLV")) {
        p.error = "no FLV header";
        return p;
    }
    qint64 pos = be(d, 5, 4);
    p.header = d.left(pos);
    if (be(d, pos, 4) != 0) {
        p.error = "first back-pointer is not 0";
        return p;
    }
    pos += 4;
    while (pos < d.size()) {
        if (d.size() - pos < 15) {
            p.error = QString("truncated tag at %1").arg(pos);
            return p;
        }
        Tag t;
        t.pos = pos;
        t.type = quint8(d[pos]) & 0x1F;
        t.size = be(d, pos + 1, 3);
        t.timeMs = be(d, pos + 4, 3) | be(d, pos + 7, 1) << 24;
        if (d.size() - pos - 15 < t.size) {
            p.error = QString("tag at %1 runs past the end").arg(pos);
            return p;
        }
        t.bytes = d.mid(pos, 11 + t.size);
        t.backPointer = be(d, pos + 11 + t.size, 4);
        if (t.backPointer != 11 + t.size) {
            p.error = QString("wrong back-pointer after the tag at %1").arg(pos);
            return p;
        }
        p.tags.append(t);
        pos += 15 + t.size;
    }
    p.ok = true;
    return p;
}

namespace
{

struct AmfReader {
    const QByteArray& d;
    qint64 pos = 0;
    bool bad = false;

    bool need(qint64 n)
    {
        if (d.size() - pos < n)
            bad = true;
        return !bad;
    }
    QString name()
    {
        if (!need(2))
            return {};
        int n = int(be(d, pos, 2));
        pos += 2;
        if (!need(n))
            return {};
        QString s = QString::fromUtf8(d.mid(pos, n));
        pos += n;
        return s;
    }
    double number()
    {
        if (!need(8))
            return 0;
        quint64 bits = quint64(be(d, pos, 4)) << 32 | be(d, pos + 4, 4);
        pos += 8;
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    QVariantMap properties()
    {
        QVariantMap m;
        while (!bad) {
            QString key = name();
            if (key.isEmpty() && need(1) && d[pos] == 9) {
                ++pos;
                break;
            }
            m.insert(key, value());
        }
        return m;
    }
    QVariant value()
    {
        if (!need(1))
            return {};
        int marker = quint8(d[pos++]);
        switch (marker) {
        case 0:
            return number();
        case 1:
            return need(1) ? QVariant(d[pos++] != 0) : QVariant();
        case 2:
            return name();
        case 3:
            return properties();
        case 8:
            if (!need(4))
                return {};
            pos += 4;
            return properties();
        case 10: {
            if (!need(4))
                return {};
            quint32 n = be(d, pos, 4);
            pos += 4;
            QVariantList l;
            for (quint32 i = 0; i < n && !bad; ++i)
                l.append(value());
            return l;
        }
        case 11: {
            double ms = number();
            if (need(2))
                pos += 2;
            return ms;
        }
        default:
            bad = true;
            return {};
        }
    }
};

} // namespace

QVariantMap decodeMetadata(const QByteArray& body, QString* error)
{
    AmfReader r{body};
    QVariant name = r.value();
    QVariant values = r.value();
    bool ok = !r.bad && name.toString() == "onMetaData" && r.pos == body.size();
    if (error)
        *error = ok ? QString() : QString("bad AMF0 at %1").arg(r.pos);
    return ok ? values.toMap() : QVariantMap();
}

QByteArray metadataBody(const Parsed& p)
{
    for (const Tag& t : p.tags)
        if (t.type == 18 && t.bytes.mid(11, 13) == QByteArray("\x02\x00\x0a"
                                                              "onMetaData",
                                                              13))
            return t.bytes.mid(11);
    return {};
}

static Run runWith(const QString& program, const QStringList& args, std::function<void()> setup)
{
    QProcess p;
    if (setup)
        p.setChildProcessModifier(setup);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(30000))
        return r;
    p.closeWriteChannel();
    p.waitForFinished(-1);
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = r.crashed ? -1 : p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

Run runFlvmdi(const QStringList& args, std::function<void()> childSetup)
{
    return runWith(FLVMDI_PATH, args, std::move(childSetup));
}

Run runProgram(const QString& program, const QStringList& args)
{
    return runWith(program, args, {});
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

static QByteArray be32(quint32 v)
{
    QByteArray b(4, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray flvHeader(bool audio, bool video)
{
    QByteArray h("FLV\x01", 4);
    h.append(char((audio ? 4 : 0) | (video ? 1 : 0)));
    h.append(be32(9));
    h.append(be32(0));
    return h;
}

QByteArray tag(int type, quint32 timeMs, const QByteArray& body, qint64 backPointer)
{
    QByteArray t;
    t.append(char(type));
    t.append(be32(quint32(body.size())).mid(1));
    t.append(be32(timeMs & 0xFFFFFF).mid(1));
    t.append(char(timeMs >> 24));
    t.append(QByteArray(3, 0));
    t.append(body);
    t.append(be32(backPointer < 0 ? quint32(11 + body.size()) : quint32(backPointer)));
    return t;
}

QByteArray scriptTag(const QString& name, const QByteArray& amfValues)
{
    QByteArray n = name.toUtf8();
    QByteArray body;
    body.append(char(2));
    body.append(be32(quint32(n.size())).mid(2));
    body.append(n);
    body.append(amfValues);
    return tag(18, 0, body);
}

QByteArray h263Body(bool key, int w, int h, int payload)
{
    // Picture start code (17 bits), version 0 (5), temporal reference (8),
    // picture size 1 = 16-bit custom width and height, picture type (2).
    QByteArray body;
    body.append(char((key ? 0x10 : 0x20) | 2));
    quint32 acc = 0;
    int n = 0;
    auto put = [&](quint32 v, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = acc << 1 | ((v >> i) & 1);
            if (++n == 8) {
                body.append(char(acc));
                acc = 0;
                n = 0;
            }
        }
    };
    put(1, 17);
    put(0, 5);
    put(0, 8);
    put(1, 3);
    put(quint32(w), 16);
    put(quint32(h), 16);
    put(key ? 0 : 1, 2);
    put(0, 8 - n);
    body.append(QByteArray(payload, '\x55'));
    return body;
}

QByteArray mp3Body(int payload)
{
    QByteArray body;
    body.append(char(0x2F)); // MP3, 44 kHz, 16 bit, stereo
    body.append(QByteArray("\xFF\xFB\x90\x04", 4));
    body.append(QByteArray(payload, '\x11'));
    return body;
}

} // namespace flvtest
