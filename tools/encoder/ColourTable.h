// Colour names looked up in an X11 rgb.txt table.
#pragma once

#include <array>
#include <istream>
#include <optional>
#include <string>

using Rgb = std::array<int, 3>;

// Finds NAME in a table of "R G B name" lines. Names are compared as X does:
// without case and without blanks ("Navy Blue" = "navyblue"). Lines starting
// with "!" are comments; a line that is not three values 0..255 and a name is
// skipped.
std::optional<Rgb> findColour(std::istream& table, const std::string& name);

// The same on a table file; throws Failure when the file cannot be read or
// the name is not in it.
Rgb colourFromTable(const std::string& tablePath, const std::string& name);
