#pragma once

#include <QString>

// The folder whose "fonts" folder holds the system fonts: font files of the
// watermark are named relative to <FontsRootFolder()>/fonts.
QString FontsRootFolder();

// A path without blanks, tabs or quotes that names the same existing file or
// folder, for the places of a command line where a path stands unquoted. A
// path without them comes back as it is; otherwise the result is a symbolic
// link to it, made once in the user's private runtime folder, else in a
// private folder of the user's in the temporary folder. A path that does not
// exist, or for which no such link can be made, gives the empty text.
QString BlankFreePath(const QString& longPath);

// Files in a folder that others may write (an application folder), never
// opened through a link: opens a regular file for writing, created or
// emptied, as a descriptor the caller closes (-1 and errno when refused).
int OpenScratchForWriting(const QString& path);
// Up to maxBytes of a file; empty when it cannot be read or is a link.
QByteArray ReadScratch(const QString& path, qint64 maxBytes);
