// An error of the front-end itself: main() prints it as one line,
// "ffmpeg: <message>", and exits with code 1.
#pragma once

#include <stdexcept>
#include <string>

struct Failure : std::runtime_error {
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

// TEXT with each line break made a "?", so it stays on one line.
std::string oneLine(std::string text);

// Quotes a name for a message: the name stays readable but cannot break the
// message across lines.
std::string quoted(const std::string& name);
