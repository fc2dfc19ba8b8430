#pragma once

#include <QList>
#include <QStringList>

// Every value a job is made of, as the window's controls, kestrel-convert's
// options and manifests, and the checks of a job name it.
// clang-format off
enum class JobField { None, Source, OutputFolder, OutputName, FrameSize, VideoBitrate, FrameRate,
    AudioRate, AudioBitrate, Channels, NoAudio, Format, WatermarkText, Font, FontSize, Colour, Corner,
    Opacity, Left, Top, StillsCount, Settings };
// clang-format on

// List: one of entries, a fixed list of the window (--help names its start value); Choice: one
// of entries; Font, FontSize, Colour: a catalog's entry; Number: a whole number from low to high.
enum class OptionKind { List, Choice, Font, FontSize, Colour, Number, Switch, Text, File, Folder };

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
