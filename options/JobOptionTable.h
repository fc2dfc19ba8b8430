#pragma once

#include <QList>
#include <QStringList>

// Every value a job is made of, as the window's controls, kestrel-convert's
// options and manifests, and the checks of a job name it.
enum class JobField {
    None,
    Source,
    OutputFolder,
    OutputName,
    FrameSize,
    VideoBitrate,
    FrameRate,
    AudioRate,
    AudioBitrate,
    Channels,
    NoAudio,
    Format,
    Watermark,
    WatermarkText,
    Font,
    FontSize,
    Colour,
    Corner,
    Opacity,
    Left,
    Top,
    Stills,
    StillsCount,
    Settings,
};

enum class OptionKind {
    List,   // one of entries, the window's fixed list; --help names its start value
    Choice, // one of entries (formats, corners)
    Font,   // an entry of a catalog
    FontSize,
    Colour,
    Number, // a whole number from low to high
    Switch, // true or false
    Text,
    File,
    Folder,
};

struct JobOption {
    JobField field;
    QString name;      // "video-bitrate"; empty for a value of the window alone
    QString valueName; // for --help; empty for a switch
    QString help;
    OptionKind kind;
    QStringList entries;
    int start = 0; // a position in entries or a catalog, or the number
    int low = 0;
    int high = 0;
};

// In --help's order. Corners come in the order of the Corner enum, after None.
const QList<JobOption>& JobOptions();
const JobOption& JobOptionOf(JobField field);
// By long name; nullptr for none.
const JobOption* FindJobOption(const QString& name);
