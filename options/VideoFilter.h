#pragma once

#include <QString>
#include <QStringList>

// The Input File dialog's filter: "description|patterns|description|patterns",
// patterns joined by ";". Its first entry lists every kind of video the
// program takes; folder arguments of the console program take the same.
QString VideoOpenFilter();

// The patterns of the filter's first entry ("*.mpe", "*.mpeg", ...).
QStringList SupportedVideoPatterns();
