#pragma once

#include <QStringList>

// The videos that file and folder arguments name, as absolute paths: a file
// as it is; for a folder the files directly inside that match the patterns of
// the Input File dialog's first entry (and those of the folders inside, with
// recursive), by name, hidden ones left out. An FLV in a folder is taken only
// when the outputs go to another folder (outputFolder; empty means beside each
// source), so that outputs are never taken for sources. Throws UsageError for
// a path that does not exist.
QStringList CollectSources(const QStringList& paths, bool recursive, const QString& outputFolder);
