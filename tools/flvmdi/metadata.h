// Turns the scan of a file into the onMetaData values and the layout of the
// new file: FLV header, first back-pointer, the new metadata tag, then the
// kept tags of the input in their order.
#pragma once

#include "amf0.h"
#include "flv_scan.h"

#include <cstdint>
#include <string>

namespace flvmdi
{

struct OutputPlan {
    uint8_t header[13] = {}; // FLV header and the first back-pointer
    Metadata metadata;
    std::string metadataTag; // tag and its back-pointer
    uint64_t fileSize = 0;
};

// `nowMs` is the metadata date, `creator` the metadatacreator text.
OutputPlan planOutput(const ScanResult& scan, double nowMs, const std::string& creator);

} // namespace flvmdi
