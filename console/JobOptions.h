#pragma once

#include "options/Catalogs.h"
#include "pipeline/JobRequest.h"

#include <QList>
#include <QString>
#include <utility>

// The options of one job (JobOptions(): on the command line for all jobs, or
// on a manifest line for that job alone), by long name ("video-bitrate"), in
// the order given; a later value of a name wins. A switch such as "no-audio"
// has "true" or "false".
using OptionValues = QList<std::pair<QString, QString>>;

// A request with the window's start values, the programs of appFolder and
// the system fonts.
JobRequest StartRequest(const Catalogs& catalogs, const QString& appFolder);

// The window's start values, then the settings file (the last "settings"),
// then every other option in order. A value the window would not offer
// throws UsageError saying what the option takes.
JobRequest BuildRequest(const OptionValues& values, const Catalogs& catalogs,
                        const QString& appFolder);
