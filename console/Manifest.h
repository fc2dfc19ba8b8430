#pragma once

#include "console/JobOptions.h"

#include <QByteArray>
#include <QList>

// A manifest holds one job a line: a path, or a JSON object with "source" and
// any job option for that job alone, keyed by its long name
// ({"source": "a.avi", "size": "160x120", "no-audio": true}). Blank lines and
// lines starting with "#" are skipped.
struct ManifestJob {
    int line = 0; // counted from 1
    QString source;
    OptionValues options;
    QString error; // what is wrong in the line; empty when it reads well
};

// The jobs of every line that holds one, in order, bad lines too.
QList<ManifestJob> ParseManifest(const QByteArray& text);
