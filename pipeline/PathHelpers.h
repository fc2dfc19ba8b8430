#pragma once

#include <QString>

// The folder whose "fonts" folder holds the system fonts: font files of the
// watermark are named relative to <GetWindowsDir()>/fonts.
QString GetWindowsDir();

// A path without blanks or quotes that names the same existing file or folder,
// for the places of a command line where a path stands unquoted. A path that
// has neither comes back as it is; otherwise the result is a symbolic link to
// it, made once in the user's private runtime folder. A path that does not
// exist gives the empty text.
QString GetShortName(const QString& longPath);

// The application folder as GetShortName gives it: the form in which the
// command lines name the programs beside this one.
QString GetShortAppFolder();
