#pragma once

#include "console/JobOptions.h"

#include <QStringList>
#include <optional>

// What the command line asks for.
struct ConsoleArguments {
    enum Action { Run, Help, Version };
    Action action = Run;
    QStringList paths;       // videos and folders
    OptionValues jobOptions; // for every job
    QString outputDir;       // empty: beside each source
    bool recursive = false;
    bool json = false;
    bool overwrite = false;
    QString manifest;
    std::optional<int> index;
    int jobs = 1; // 0: one per core
    QString watch;
    // --stream: the servers (address and application, without the key) each
    // video is sent to live, instead of being converted.
    QStringList streams;
    QString streamKeyFile;
};

// arguments[0] is the program. Throws UsageError.
ConsoleArguments ParseArguments(const QStringList& arguments);

QString HelpText();
