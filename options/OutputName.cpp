#include "options/OutputName.h"

std::optional<QString> ProposeOutputName(const QString& title)
{
    const QString tail = title.right(4).toLower();
    if (tail == u"divx" || tail == u"mpeg")
        return title.left(title.size() - 4) + QStringLiteral("flv");
    if (title.size() < 3)
        return std::nullopt;
    return title.left(title.size() - 3) + QStringLiteral("flv");
}

bool HoldsControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}
