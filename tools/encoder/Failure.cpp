#include "Failure.h"

std::string quoted(const std::string& name)
{
    std::string out = "\"";
    for (char c : name)
        out += (c == '\n' || c == '\r') ? '?' : c;
    return out + "\"";
}
