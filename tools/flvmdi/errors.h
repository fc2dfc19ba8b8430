// Error kinds of the injector; each maps to one exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace flvmdi
{

enum ExitCode { ExitOk = 0, ExitIo = 1, ExitInvalid = 2 };

// The input is not an FLV file we can describe (exit code 2).
struct InvalidFlv : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reading or writing failed, or the file cannot be used (exit code 1).
struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Text of errno for messages, e.g. "No space left on device".
std::string errnoText(int err);

} // namespace flvmdi
