// Just enough JSON to read ffprobe's answer.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    std::string text; // a string's value, a number's or a boolean's spelling
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The member NAME of an object, or a null value.
    const JsonValue& operator[](const std::string& name) const;
    bool isNull() const { return kind == Kind::Null; }
};

// Throws Failure on malformed input.
JsonValue parseJson(const std::string& text);
