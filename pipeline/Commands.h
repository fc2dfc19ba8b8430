#pragma once

#include <QString>
#include <QStringList>

// The command lines of a conversion. appShort is the application folder in
// the blank-free form that stands unquoted; sep is the path separator. Every
// text inside double quotes is escaped (see EscapeForQuotes), which leaves
// ordinary paths and names unchanged.

// appShort/ffmpeg -i "SOURCE"<options>"FOLDERNAME"
QString BuildEncodeCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& encoderOptions, const QString& outDir,
                           const QString& outFile);

// appShort/flvmdi "FOLDERNAME"
QString BuildInjectCommand(const QString& appShort, QChar sep, const QString& outDir,
                           const QString& outFile);

// The stills' names when a job writes alone into its folder.
inline constexpr char DefaultStillsName[] = "cover%d.jpg";

// appShort/ffmpeg -i "SOURCE" -s WxH -vframes N "FOLDERcover%d.jpg"; the last
// "%d" of stillsName is where the number goes.
QString BuildStillsCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& videoWindow, const QString& numImages,
                           const QString& outDir,
                           const QString& stillsName = QLatin1String(DefaultStillsName));

// appShort/ffmpeg -i "SOURCE": the encoder reports on the source and stops.
QString BuildProbeCommand(const QString& appShort, QChar sep, const QString& source);

// The line of input.bat: appShort/ffmpeg -i "SOURCE">scratchShort/infile.txt 2>&1
QString BuildProbeLine(const QString& appShort, QChar sep, const QString& source,
                       const QString& scratchShort);

// appShort/ffmpeg -i "SOURCE"<options>-stream "URL" -stream "URL"...: the
// encode sent live to each server instead of a file.
QString BuildStreamCommand(const QString& appShort, QChar sep, const QString& source,
                           const QString& encoderOptions, const QStringList& urls);
