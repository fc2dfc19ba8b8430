#include "amf0.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <ctime>

namespace flvmdi
{

namespace
{

enum : uint8_t {
    AmfNumber = 0x00,
    AmfBoolean = 0x01,
    AmfString = 0x02,
    AmfObject = 0x03,
    AmfEcmaArray = 0x08,
    AmfObjectEnd = 0x09,
    AmfStrictArray = 0x0A,
    AmfDateMarker = 0x0B,
};

void putBe(std::string& out, uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putName(std::string& out, const std::string& s)
{
    size_t n = s.size() > 0xFFFF ? 0xFFFF : s.size();
    putBe(out, n, 2);
    out.append(s, 0, n);
}

void putNumber(std::string& out, double d)
{
    out.push_back(AmfNumber);
    putBe(out, std::bit_cast<uint64_t>(d), 8);
}

void putStrictArray(std::string& out, const std::vector<double>& v)
{
    out.push_back(AmfStrictArray);
    putBe(out, v.size(), 4);
    for (double d : v)
        putNumber(out, d);
}

void putObjectEnd(std::string& out)
{
    putBe(out, 0, 2);
    out.push_back(AmfObjectEnd);
}

struct AmfValueWriter {
    std::string& out;
    void operator()(double d) { putNumber(out, d); }
    void operator()(bool b)
    {
        out.push_back(AmfBoolean);
        out.push_back(b ? 1 : 0);
    }
    void operator()(const std::string& s)
    {
        out.push_back(AmfString);
        putName(out, s);
    }
    void operator()(const AmfDate& d)
    {
        out.push_back(AmfDateMarker);
        putBe(out, std::bit_cast<uint64_t>(d.msSinceEpoch), 8);
        putBe(out, 0, 2); // time zone: UTC
    }
    void operator()(const AmfKeyframes& k)
    {
        out.push_back(AmfObject);
        putName(out, "times");
        putStrictArray(out, k.times);
        putName(out, "filepositions");
        putStrictArray(out, k.filePositions);
        putObjectEnd(out);
    }
};

void jsonNumber(std::string& out, double d)
{
    if (!std::isfinite(d)) {
        out += "null";
        return;
    }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, r.ptr);
}

void jsonString(std::string& out, const std::string& s)
{
    out.push_back('"');
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

void jsonArray(std::string& out, const std::vector<double>& v)
{
    out.push_back('[');
    for (size_t i = 0; i < v.size(); ++i) {
        if (i)
            out.push_back(',');
        jsonNumber(out, v[i]);
    }
    out.push_back(']');
}

struct JsonValueWriter {
    std::string& out;
    void operator()(double d) { jsonNumber(out, d); }
    void operator()(bool b) { out += b ? "true" : "false"; }
    void operator()(const std::string& s) { jsonString(out, s); }
    void operator()(const AmfDate& d)
    {
        std::time_t t = static_cast<std::time_t>(std::floor(d.msSinceEpoch / 1000));
        std::tm tm{};
        gmtime_r(&t, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
        jsonString(out, buf);
    }
    void operator()(const AmfKeyframes& k)
    {
        out += "{\"times\":";
        jsonArray(out, k.times);
        out += ",\"filepositions\":";
        jsonArray(out, k.filePositions);
        out.push_back('}');
    }
};

} // namespace

std::string encodeMetadataBody(const Metadata& md)
{
    std::string out;
    out.push_back(AmfString);
    putName(out, "onMetaData");
    out.push_back(AmfEcmaArray);
    putBe(out, md.size(), 4);
    for (const auto& p : md) {
        putName(out, p.name);
        std::visit(AmfValueWriter{out}, p.value);
    }
    putObjectEnd(out);
    return out;
}

std::string encodeMetadataTag(const Metadata& md)
{
    std::string body = encodeMetadataBody(md);
    std::string out;
    out.reserve(11 + body.size() + 4);
    out.push_back(18);          // script data
    putBe(out, body.size(), 3); // checked by the caller: far below 16 MiB
    putBe(out, 0, 4);           // timestamp 0, extended byte 0
    putBe(out, 0, 3);           // stream id
    out += body;
    putBe(out, 11 + body.size(), 4);
    return out;
}

std::string toJson(const Metadata& md)
{
    std::string out = "{";
    for (size_t i = 0; i < md.size(); ++i) {
        if (i)
            out.push_back(',');
        jsonString(out, md[i].name);
        out.push_back(':');
        std::visit(JsonValueWriter{out}, md[i].value);
    }
    out += "}\n";
    return out;
}

} // namespace flvmdi
