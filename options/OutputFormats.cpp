#include "options/OutputFormats.h"

const QList<OutputFormat>& OutputFormats()
{
    static const QList<OutputFormat> formats = {
        {FlvFormat::Sorenson, "sorenson",
         "Flash Video: Sorenson Spark + MP3 (Flash Player 6 and later)", "Sorenson Spark + MP3", "",
         ""},
        {FlvFormat::H264, "h264", "Flash Video: H.264 + AAC (browsers, streaming servers)",
         "H.264 + AAC", "-vcodec libx264 ", "-acodec libfaac "},
    };
    return formats;
}

const OutputFormat& FormatOf(FlvFormat format)
{
    return OutputFormats()[int(format)];
}
