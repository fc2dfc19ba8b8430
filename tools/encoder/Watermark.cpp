#include "Watermark.h"

#include "CommandLine.h"
#include "Failure.h"

#include <cctype>
#include <cstdio>

namespace
{

const std::string moduleOptions = "cFCAxyt";

// An option of the module starts a blank-separated word "-L" where L is one
// of its option letters.
bool optionAt(const std::string& s, size_t p)
{
    return p + 1 < s.size() && (p == 0 || s[p - 1] == ' ') && s[p] == '-' &&
           moduleOptions.find(s[p + 1]) != std::string::npos &&
           (p + 2 == s.size() || s[p + 2] == ' ');
}

size_t nextOption(const std::string& s, size_t from)
{
    for (size_t p = from; p < s.size(); ++p)
        if (optionAt(s, p))
            return p;
    return std::string::npos;
}

std::string trimmed(const std::string& s)
{
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double number(const std::string& option, const std::string& value)
{
    const std::optional<double> n = decimalNumber(value, 6, true);
    if (!n)
        throw Failure("-vhook: " + option + " " + quoted(value) + " is not a number");
    return *n;
}

} // namespace

Watermark parseVhook(const std::string& argument)
{
    size_t p = nextOption(argument, 0);
    const std::string module =
        trimmed(argument.substr(0, p == std::string::npos ? argument.size() : p));
    const size_t slash = module.find_last_of("/\\");
    const std::string moduleName = slash == std::string::npos ? module : module.substr(slash + 1);
    if (lower(moduleName) != "imlib2.dll")
        throw Failure("-vhook: unknown module " + quoted(module) +
                      "; only imlib2.dll (text) is known");

    Watermark mark;
    bool haveText = false; // a bare -t is an empty text
    while (p != std::string::npos) {
        const char letter = argument[p + 1];
        const size_t start = std::min(p + 3, argument.size());
        if (letter == 't') { // the text takes the whole rest, blanks included
            mark.text = argument.substr(start);
            haveText = true;
            break;
        }
        const size_t next = nextOption(argument, start);
        const std::string value = trimmed(
            argument.substr(start, next == std::string::npos ? std::string::npos : next - start));
        const std::string option = std::string("-") + letter;
        if (value.empty())
            throw Failure("-vhook: option " + option + " needs a value");
        switch (letter) {
        case 'c':
            mark.colourName = value;
            break;
        case 'F': {
            const size_t cut = value.rfind('/');
            if (cut == std::string::npos || cut == 0 || cut + 1 == value.size())
                throw Failure("-vhook: -F " + quoted(value) + ": give the font as FONTFILE/SIZE");
            mark.fontFile = value.substr(0, cut);
            mark.fontSize = value.substr(cut + 1);
            if (decimalNumber(mark.fontSize, 4).value_or(0) <= 0)
                throw Failure("-vhook: -F " + quoted(value) + ": the font size is not a number");
            break;
        }
        case 'C':
            mark.table = value;
            break;
        case 'A': {
            const double alpha = number(option, value);
            if (alpha < 0 || alpha > 255)
                std::fprintf(stderr, "ffmpeg: -vhook: opacity -A %s taken as %s\n", value.c_str(),
                             alpha < 0 ? "0" : "255");
            mark.alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : static_cast<int>(alpha + 0.5);
            break;
        }
        case 'x':
        case 'y':
            number(option, value);
            (letter == 'x' ? mark.x : mark.y) = value;
            break;
        }
        p = next;
    }
    // Empty values were refused above, so an empty field was not given.
    if (mark.fontFile.empty())
        throw Failure("-vhook: no font given (-F FONTFILE/SIZE)");
    if (mark.colourName.empty() || mark.table.empty())
        throw Failure("-vhook: the colour needs a name (-c) and a colour table (-C)");
    if (!haveText)
        throw Failure("-vhook: no text given (-t)");
    return mark;
}

std::string escapeOptionValue(std::string_view value)
{
    // The option parser takes a backslash as "next character literally", so
    // every character that has a meaning there, and every blank (blanks at the
    // ends would be dropped), gets one.
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '\'' || c == ':' || c == '=' ||
            std::isspace(static_cast<unsigned char>(c)))
            out += '\\';
        out += c;
    }
    return out;
}

std::string escapeFilterArguments(std::string_view arguments)
{
    // The graph parser unescapes once more and ends a filter's arguments at
    // "[", "]", "," or ";".
    std::string out;
    for (char c : arguments) {
        if (c == '\\' || c == '\'' || c == '[' || c == ']' || c == ',' || c == ';' ||
            std::isspace(static_cast<unsigned char>(c)))
            out += '\\';
        out += c;
    }
    return out;
}

std::string drawtextFilter(const Watermark& mark, const Rgb& colour, const std::string& textFile)
{
    char rgba[16];
    std::snprintf(rgba, sizeof rgba, "0x%02X%02X%02X%02X", colour[0], colour[1], colour[2],
                  mark.alpha);
    const std::string arguments = "fontfile=" + escapeOptionValue(mark.fontFile) +
                                  ":textfile=" + escapeOptionValue(textFile) +
                                  ":expansion=none:fontsize=" + mark.fontSize +
                                  ":fontcolor=" + rgba + ":x=" + mark.x + ":y=" + mark.y;
    return "drawtext=" + escapeFilterArguments(arguments);
}
