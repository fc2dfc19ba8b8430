#include "common/CommandLine.h"

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    qsizetype i = 0;
    const qsizetype n = commandLine.size();
    while (i < n) {
        const QChar c = commandLine[i];
        if (c == u'\\') {
            qsizetype backslashes = 0;
            while (i < n && commandLine[i] == u'\\') {
                ++backslashes;
                ++i;
            }
            inArgument = true;
            if (i < n && commandLine[i] == u'"') {
                current += QString(backslashes / 2, u'\\');
                if (backslashes % 2 == 1) {
                    current += u'"';
                    ++i;
                }
            } else {
                current += QString(backslashes, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            inQuotes = !inQuotes;
            inArgument = true;
        } else if ((c == u' ' || c == u'\t') && !inQuotes) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
        ++i;
    }
    if (inArgument)
        arguments << current;
    return arguments;
}

QString EscapeForQuotes(const QString& text)
{
    QString escaped;
    qsizetype backslashes = 0;
    for (const QChar c : text) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            escaped += QString(backslashes * 2 + 1, u'\\');
            escaped += u'"';
        } else {
            escaped += QString(backslashes, u'\\');
            escaped += c;
        }
        backslashes = 0;
    }
    // Backslashes before the closing quote are doubled too.
    escaped += QString(backslashes * 2, u'\\');
    return escaped;
}

QString Quoted(const QString& text)
{
    return u'"' + EscapeForQuotes(text) + u'"';
}
