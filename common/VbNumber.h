#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Reads a whole 16-bit number from a text the way the program always has:
// blanks before and after are ignored, and so is a comma that follows the
// digits ("240," or "240 , "); a sign may lead; a fraction is rounded to the
// nearest whole number, a half to the even neighbour (12.5 -> 12, 13.5 -> 14).
// Junk (an empty text, letters, two numbers) fails, and so does a value outside
// -32768..32767.
enum class VbNumberError { None, TypeMismatch, Overflow };

struct VbInteger {
    std::optional<std::int16_t> value;
    VbNumberError error = VbNumberError::None;
    bool ok() const { return value.has_value(); }
};

VbInteger ParseVbInteger(const QString& text);

// The same, but a failure throws VbError (13 type mismatch, 6 overflow).
std::int16_t CIntOrThrow(const QString& text);
