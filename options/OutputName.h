#pragma once

#include <QString>
#include <optional>

// The output name proposed for a chosen source file name (without folder):
// the text after the last dot becomes "flv"; a name without a dot, or whose
// only dot starts it, gets ".flv" added. An empty name has no proposal.
std::optional<QString> ProposeOutputName(const QString& title);

// True when the text holds a line break or another control character; such
// names are refused when they are picked.
bool HoldsControlCharacter(const QString& text);
