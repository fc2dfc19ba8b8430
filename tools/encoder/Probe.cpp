#include "Probe.h"

#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using nlohmann::json;

namespace
{

// The member NAME of an object, or null.
const json& member(const json& object, const char* name)
{
    static const json null;
    if (!object.is_object())
        return null;
    const auto it = object.find(name);
    return it == object.end() ? null : *it;
}

// A string's value, or a number's spelling (ffprobe writes most numbers as strings).
std::string text(const json& v)
{
    if (v.is_string())
        return v.get<std::string>();
    return v.is_number() ? v.dump() : std::string();
}

double number(const json& v)
{
    return v.is_number() ? v.get<double>() : std::atof(text(v).c_str());
}

// A count such as a width or a channel number; 0 unless it is one.
int count(const json& v)
{
    const double n = number(v);
    return n >= 1 && n <= 1e9 ? static_cast<int>(n) : 0;
}

// Codec and pixel-format names go into a line that readers split at ":" and
// search for the "x" between width and height: neither may appear in them.
std::string plainName(const std::string& name)
{
    if (name.empty())
        return "unknown";
    const bool shout = name.find('x') != std::string::npos; // "dnxhd" is written "DNXHD"
    std::string out;
    for (char c : name) {
        if (c == ':' || c == ',' || c == '\n' || c == '\r')
            c = '-';
        out += shout ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    }
    return out;
}

double rate(const json& v)
{
    const std::string t = text(v);
    const size_t slash = t.find('/');
    if (slash == std::string::npos)
        return std::atof(t.c_str());
    const double den = std::atof(t.c_str() + slash + 1);
    return den > 0 ? std::atof(t.substr(0, slash).c_str()) / den : 0;
}

std::string format(const char* fmt, double a, double b = 0, double c = 0, double d = 0)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, fmt, a, b, c, d);
    return buffer;
}

std::string duration(const json& seconds)
{
    const double s = number(seconds);
    if (seconds.is_null() || !(s >= 0 && s < 1e9))
        return "N/A";
    const double hundredths = std::floor(s * 100 + 0.5);
    const double h = std::floor(hundredths / 360000),
                 m = std::floor(std::fmod(hundredths, 360000) / 6000);
    const double rest = std::fmod(hundredths, 6000) / 100;
    return format("%02.0f:%02.0f:%05.2f", h, m, rest);
}

std::string channelText(const json& stream)
{
    const int channels = count(member(stream, "channels"));
    if (channels == 1)
        return "mono";
    if (channels == 2)
        return "stereo";
    return std::to_string(channels) + " channels";
}

std::string streamLine(const json& s, size_t position)
{
    const json& index = member(s, "index");
    const std::string type = text(member(s, "codec_type"));
    std::string line =
        "    Stream #0." + std::to_string(index.is_number() ? count(index) : position) + ": ";
    if (type == "video") {
        line += "Video: " + plainName(text(member(s, "codec_name"))) + ", " +
                plainName(text(member(s, "pix_fmt")));
        const int w = count(member(s, "width")), h = count(member(s, "height"));
        if (w > 0 && h > 0) {
            // At least four characters before the "x", so a short width is read whole.
            std::string width = std::to_string(w);
            line += ", " + std::string(width.size() < 3 ? 3 - width.size() : 0, ' ') + width + "x" +
                    std::to_string(h);
        }
        double fps = rate(member(s, "r_frame_rate"));
        if (!(fps > 0 && fps < 1e9))
            fps = rate(member(s, "avg_frame_rate"));
        if (fps > 0 && fps < 1e9)
            line += format(", %.2f fps(r)", fps);
    } else if (type == "audio") {
        line += "Audio: " + plainName(text(member(s, "codec_name"))) + ", " +
                format("%.0f Hz", count(member(s, "sample_rate"))) + ", " + channelText(s);
        if (const int bits = count(member(s, "bit_rate")))
            line += format(", %.0f kb/s", bits / 1000);
    } else {
        std::string kind = type.empty() ? "Data" : type;
        kind[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(kind[0])));
        // Whatever the kind is called ("Video" too), only a video stream's line holds "Video:".
        line += defused(plainName(kind) + ": " + plainName(text(member(s, "codec_name"))));
    }
    return line + "\n";
}

} // namespace

std::string defused(std::string text)
{
    for (size_t p; (p = text.find("Video:")) != std::string::npos;)
        text.replace(p, 6, "Video -");
    return text;
}

std::string legacyReport(const std::string& answerText, const std::string& source)
{
    const json answer = json::parse(answerText, nullptr, false);
    if (answer.is_discarded())
        throw Failure("unreadable answer from ffprobe");
    const json& fmt = member(answer, "format");
    // The name is echoed as given, except that it cannot pose as a stream line.
    std::string formatName = text(member(fmt, "format_name"));
    if (formatName.empty())
        formatName = "unknown";
    std::string report = "Input #0, " + oneLine(defused(formatName)) + ", from '" +
                         oneLine(defused(source)) + "':\n";
    report += "  Duration: " + duration(member(fmt, "duration"));
    const json& start = member(fmt, "start_time");
    report += ", start: " + (start.is_null() ? "N/A" : format("%.6f", number(start)));
    const json& bits = member(fmt, "bit_rate");
    report += ", bitrate: " +
              (bits.is_null() ? "N/A" : format("%.0f kb/s", std::floor(number(bits) / 1000)));
    report += "\n";
    const json& streams = member(answer, "streams");
    for (size_t position = 0; streams.is_array() && position < streams.size(); ++position)
        report += streamLine(streams[position], position);
    return report;
}

int runProbe(const std::string& source, const std::string& ffprobe)
{
    std::string answer, errors;
    std::unique_ptr<TempFolder> link;
    const int code =
        runTool({ffprobe, "-v", "error", "-of", "json=compact=1", "-show_entries",
                 "format=format_name,duration,start_time,bit_rate:stream=index,codec_type,"
                 "codec_name,pix_fmt,width,height,r_frame_rate,avg_frame_rate,sample_rate,"
                 "channels,bit_rate",
                 sourceForFFmpeg(source, link)},
                &answer, &errors);
    // ffprobe's messages echo the file name, which may hold anything.
    std::fputs(defused(errors).c_str(), stderr);
    if (code != 0)
        return 1;
    const std::string report = legacyReport(answer, source);
    std::fputs(report.c_str(), stderr);
    std::fputs("At least one output file must be specified\n", stderr);
    return 1;
}
