#include "console/StreamKeys.h"

#include "console/UsageError.h"
#include "pipeline/StreamDestinations.h"

#include <QFile>
#include <sys/stat.h>

namespace
{

QStringList keysFromFile(const QString& path, qsizetype wanted)
{
    const QString named = QStringLiteral("--stream-key-file ") + path;
    QFile file(path);
    struct stat st = {};
    if (!file.open(QIODevice::ReadOnly) || ::fstat(file.handle(), &st) != 0 || !S_ISREG(st.st_mode))
        throw UsageError(named + QStringLiteral(": cannot read the file"));
    if (st.st_mode & (S_IRGRP | S_IROTH))
        throw UsageError(named + QStringLiteral(": others may read the keys in it; make it "
                                                "yours alone first (chmod 600 FILE)"));
    QStringList keys = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!keys.isEmpty() && keys.last().isEmpty())
        keys.removeLast(); // the last line's end
    for (QString& key : keys) {
        if (key.endsWith(u'\r'))
            key.chop(1);
    }
    if (keys.size() != wanted)
        throw UsageError(named + QStringLiteral(": it has %1 line(s), one for each of the %2 "
                                                "--stream")
                                     .arg(keys.size())
                                     .arg(wanted));
    return keys;
}

} // namespace

QStringList StreamUrls(const ConsoleArguments& args)
{
    const qsizetype count = args.streams.size();
    QStringList keys;
    if (!args.streamKeyFile.isEmpty())
        keys = keysFromFile(args.streamKeyFile, count);
    else
        keys = QStringList(count, qEnvironmentVariable("KESTREL_STREAM_KEY"));
    QStringList urls;
    for (qsizetype i = 0; i < count; ++i) {
        const QString url = StreamUrlWithKey(args.streams[i], keys[i]);
        // Without a key of its own, the address may hold one.
        if (keys[i].isEmpty() && LacksOnlyStreamKey(url))
            throw UsageError(QStringLiteral("--stream %1: no stream key: give it in "
                                            "--stream-key-file or $KESTREL_STREAM_KEY")
                                 .arg(url));
        if (!IsStreamUrl(url))
            throw UsageError(QStringLiteral("--stream %1: give an rtmp:// or rtmps:// server with "
                                            "the host and the application, such as "
                                            "rtmp://live.example.com/app")
                                 .arg(keys[i].isEmpty() ? MaskedStreamUrl(url) : args.streams[i]));
        urls << url;
    }
    return urls;
}
