#pragma once

#include "options/EncoderOptions.h"
#include "pipeline/Commands.h"
#include "pipeline/ProbeReport.h"

#include <QString>
#include <QStringList>

// One conversion as the window's controls describe it, read once when the
// user starts it. Texts are taken as they stand, untrimmed.
struct JobRequest {
    QString source;  // full path of the source video
    QString outDir;  // output folder with its closing separator
    QString outFile; // name of the FLV file in it

    // The option values, the format among them. left and top are the typed position, used as they
    // are when no corner is chosen.
    EncoderControls options;
    Corner corner = Corner::None;

    bool stills = false;
    // Read as ParseVbInteger reads it ("+3" is 3); none when the text is no number. 0 grabs 10.
    std::optional<qint16> stillsCount = 10;
    // In the output folder; a batch names them after each output.
    QString stillsName = QLatin1String(DefaultStillsName);
    // The user agreed to replace the stills in the folder: the older set goes.
    bool replaceStills = false;

    // A job of a batch (the console program's or the window's), numbered from
    // 1; 0 for the window's single job. A batch job's probe writes into a
    // scratch folder of its own, never the one input.bat and infile.txt of
    // the application folder, and its log's name carries the process id and
    // this number.
    int batchNumber = 0;

    QString appFolder; // the program's folder, without a closing separator
    QString fontsRoot; // the folder whose "fonts" holds the watermark fonts
    QChar separator = u'/';

    // The servers to stream to, each with its key; none for a conversion. A
    // stream writes nothing to the output folder and grabs no stills.
    QStringList streamUrls;

    // The frame size the last probe found; a probe that finds none keeps it.
    FrameSize sourceSize;
};
