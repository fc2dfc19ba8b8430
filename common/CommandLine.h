#pragma once

#include <QString>
#include <QStringList>

// Command lines travel as one text (the hidden txtApp box) and are split into
// an argument list with the Windows rules: blanks separate arguments outside
// double quotes; 2n backslashes before a quote give n backslashes and the
// quote groups; 2n+1 backslashes before a quote give n backslashes and a
// literal quote; other backslashes are literal.
QStringList SplitCommandLine(const QString& commandLine);

// Escapes a text that the caller puts between double quotes so that the
// splitter gives it back exactly: a quote becomes \" and backslashes directly
// before a quote, or at the end (before the closing quote), are doubled. A text
// without quotes that does not end in a backslash comes back unchanged.
QString EscapeForQuotes(const QString& text);

// dq + EscapeForQuotes(text) + dq
QString Quoted(const QString& text);
