#include "Failure.h"

std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = '?';
    return text;
}

std::string quoted(const std::string& name)
{
    return "\"" + oneLine(name) + "\"";
}
