#include "ColourTable.h"

#include "Failure.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace
{

std::string comparable(const std::string& name)
{
    std::string out;
    for (unsigned char c : name)
        if (c != ' ' && c != '\t' && c != '\r')
            out += static_cast<char>(std::tolower(c));
    return out;
}

// One table line: three whole numbers 0..255, then the name.
std::optional<std::pair<Rgb, std::string>> parseLine(const std::string& line)
{
    std::istringstream in(line);
    Rgb rgb{};
    for (int& v : rgb) {
        std::string word;
        if (!(in >> word) || word.size() > 3 ||
            word.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        v = std::stoi(word);
        if (v > 255)
            return std::nullopt;
    }
    std::string name;
    std::getline(in, name);
    name = comparable(name);
    if (name.empty())
        return std::nullopt;
    return std::make_pair(rgb, name);
}

} // namespace

std::optional<Rgb> findColour(std::istream& table, const std::string& name)
{
    const std::string wanted = comparable(name);
    if (wanted.empty())
        return std::nullopt;
    std::string line;
    while (std::getline(table, line)) {
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '!')
            continue;
        auto entry = parseLine(line);
        if (entry && entry->second == wanted)
            return entry->first;
    }
    return std::nullopt;
}

Rgb colourFromTable(const std::string& tablePath, const std::string& name)
{
    std::ifstream table(tablePath, std::ios::binary);
    if (!table)
        throw Failure("colour table " + quoted(tablePath) +
                      " cannot be read: " + std::strerror(errno));
    auto rgb = findColour(table, name);
    if (!rgb)
        throw Failure("colour " + quoted(name) + " is not in the colour table " +
                      quoted(tablePath));
    return *rgb;
}
