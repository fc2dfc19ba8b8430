#pragma once

#include <QSettings>

// kestrel.ini in the user's configuration folder: the window's choices kept
// from one run to the next.
inline QSettings UserSettings()
{
    return {QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"),
            QStringLiteral("kestrel")};
}
