#include "options/OutputName.h"

std::optional<QString> ProposeOutputName(const QString& title)
{
    if (title.isEmpty())
        return std::nullopt;
    // A dot that starts the name (a hidden file) begins no extension.
    const qsizetype dot = title.lastIndexOf(u'.');
    if (dot <= 0)
        return title + QStringLiteral(".flv");
    return title.left(dot + 1) + QStringLiteral("flv");
}

bool HoldsControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}
