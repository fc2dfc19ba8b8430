#include "pipeline/Commands.h"

#include "common/CommandLine.h"

QString BuildProbeCommand(const QString& appShort, QChar sep, const QString& source)
{
    return appShort + sep + QStringLiteral("ffmpeg -i ") + Quoted(source);
}

QString BuildEncodeCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& encoderOptions, const QString& outDir,
                           const QString& outFile)
{
    return BuildProbeCommand(appShort, sep, source) + encoderOptions + Quoted(outDir + outFile);
}

QString BuildInjectCommand(const QString& appShort, QChar sep, const QString& outDir,
                           const QString& outFile)
{
    return appShort + sep + QStringLiteral("flvmdi ") + Quoted(outDir + outFile);
}

QString BuildStillsCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& videoWindow, const QString& numImages,
                           const QString& outDir, const QString& stillsName)
{
    return BuildProbeCommand(appShort, sep, source) + QStringLiteral(" -s ") + videoWindow +
           QStringLiteral(" -vframes ") + numImages + u' ' + Quoted(outDir + stillsName);
}

QString BuildProbeLine(const QString& appShort, QChar sep, const QString& source,
                       const QString& scratchShort)
{
    return BuildProbeCommand(appShort, sep, source) + u'>' + scratchShort + sep +
           QStringLiteral("infile.txt 2>&1");
}

QString BuildStreamCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& encoderOptions, const QStringList& urls)
{
    QStringList streams;
    for (const QString& url : urls)
        streams << QStringLiteral("-stream ") + Quoted(url);
    return BuildProbeCommand(appShort, sep, source) + encoderOptions + streams.join(u' ');
}
