// The onMetaData values and their two encodings: AMF0 for the script tag and
// JSON for --print. Every AMF0 value used here has a size that does not
// depend on its value (numbers are 8-byte doubles), so the size of the tag is
// known before the values that depend on it (file positions) are.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace flvmdi
{

struct AmfDate {
    double msSinceEpoch = 0;
};

struct AmfKeyframes {
    std::vector<double> times;         // seconds
    std::vector<double> filePositions; // bytes from the start of the file
};

using AmfValue = std::variant<double, bool, std::string, AmfDate, AmfKeyframes>;

struct AmfProperty {
    std::string name;
    AmfValue value;
};

using Metadata = std::vector<AmfProperty>;

// Body of the script tag: the string "onMetaData" and an ECMA array.
// Names and strings longer than 65535 bytes are cut (they never are).
std::string encodeMetadataBody(const Metadata& md);

// The whole script tag (header, body) followed by its back-pointer.
std::string encodeMetadataTag(const Metadata& md);

// One JSON object, keys in order, numbers in shortest round-trip form.
std::string toJson(const Metadata& md);

} // namespace flvmdi
