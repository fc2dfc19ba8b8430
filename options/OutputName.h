#pragma once

#include <QString>
#include <optional>

// The output name proposed for a chosen source file name (without folder):
// "divx" and "mpeg" endings (any case) lose four characters, every other name
// loses three, and "flv" is appended; the dot of the source name stays.
// A name of fewer than three characters has no proposal.
std::optional<QString> ProposeOutputName(const QString& title);

// True when the text holds a line break or another control character; such
// names are refused when they are picked.
bool HoldsControlCharacter(const QString& text);
