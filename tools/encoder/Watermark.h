// The text watermark: the -vhook argument of the older encoder
// ("…/imlib2.dll -c NAME -F FONTFILE/SIZE -C RGBTABLE -A ALPHA -x X -y Y -t TEXT")
// turned into FFmpeg's drawtext filter.
#pragma once

#include "ColourTable.h"

#include <string>
#include <string_view>

struct Watermark {
    std::string colourName; // -c
    std::string fontFile;   // -F, the part before the last "/"
    std::string fontSize;   // -F, the part after it
    std::string table;      // -C
    int alpha = 255;        // -A, 0..255
    std::string x = "0";    // -x
    std::string y = "0";    // -y
    std::string text;       // -t, the whole rest of the argument
};

// Reads a -vhook argument; throws Failure for another module, an unknown
// module option, or a missing or malformed value.
Watermark parseVhook(const std::string& argument);

// Escapes VALUE for one option value of a filter ("key=value:key=value").
std::string escapeOptionValue(std::string_view value);
// Escapes the argument text of one filter for the filter graph.
std::string escapeFilterArguments(std::string_view arguments);

// The drawtext filter for the graph; the text itself is read from TEXTFILE.
std::string drawtextFilter(const Watermark& mark, const Rgb& colour, const std::string& textFile);
