#include "Probe.h"

#include "Failure.h"
#include "Process.h"
#include "TempFiles.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{

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

double number(const JsonValue& v)
{
    return v.isNull() ? 0 : std::atof(v.text.c_str());
}

double rate(const JsonValue& v)
{
    const std::string& t = v.text;
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

std::string duration(const JsonValue& seconds)
{
    if (seconds.isNull())
        return "N/A";
    const double s = number(seconds);
    const double hundredths = std::floor(s * 100 + 0.5);
    const double h = std::floor(hundredths / 360000),
                 m = std::floor(std::fmod(hundredths, 360000) / 6000);
    const double rest = std::fmod(hundredths, 6000) / 100;
    return format("%02.0f:%02.0f:%05.2f", h, m, rest);
}

std::string channelText(const JsonValue& stream)
{
    const int channels = static_cast<int>(number(stream["channels"]));
    if (channels == 1)
        return "mono";
    if (channels == 2)
        return "stereo";
    return std::to_string(channels) + " channels";
}

std::string streamLine(const JsonValue& s, size_t position)
{
    const JsonValue& indexValue = s["index"];
    const std::string index = indexValue.isNull() ? std::to_string(position) : indexValue.text;
    const std::string type = s["codec_type"].text;
    std::string line = "    Stream #0." + index + ": ";
    if (type == "video") {
        line += "Video: " + plainName(s["codec_name"].text) + ", " + plainName(s["pix_fmt"].text);
        const int w = static_cast<int>(number(s["width"])),
                  h = static_cast<int>(number(s["height"]));
        if (w > 0 && h > 0) {
            // At least four characters before the "x", so a short width is read whole.
            std::string width = std::to_string(w);
            line += ", " + std::string(width.size() < 3 ? 3 - width.size() : 0, ' ') + width + "x" +
                    std::to_string(h);
        }
        double fps = rate(s["r_frame_rate"]);
        if (fps <= 0)
            fps = rate(s["avg_frame_rate"]);
        if (fps > 0)
            line += format(", %.2f fps(r)", fps);
    } else if (type == "audio") {
        line += "Audio: " + plainName(s["codec_name"].text) + ", " +
                format("%.0f Hz", number(s["sample_rate"])) + ", " + channelText(s);
        if (number(s["bit_rate"]) > 0)
            line += format(", %.0f kb/s", std::floor(number(s["bit_rate"]) / 1000));
    } else {
        std::string kind = type.empty() ? "Data" : type;
        kind[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(kind[0])));
        line += plainName(kind) + ": " + plainName(s["codec_name"].text);
    }
    return line + "\n";
}

} // namespace

std::string legacyReport(const JsonValue& answer, const std::string& source)
{
    const JsonValue& fmt = answer["format"];
    // The name is echoed as given, except that it cannot pose as a stream line.
    std::string name = source;
    for (size_t p; (p = name.find("Video:")) != std::string::npos;)
        name.replace(p, 6, "Video -");
    name = oneLine(name);
    const std::string formatName = fmt["format_name"].text;
    std::string report =
        "Input #0, " + (formatName.empty() ? "unknown" : formatName) + ", from '" + name + "':\n";
    report += "  Duration: " + duration(fmt["duration"]);
    report += ", start: " +
              (fmt["start_time"].isNull() ? "N/A" : format("%.6f", number(fmt["start_time"])));
    report +=
        ", bitrate: " + (fmt["bit_rate"].isNull()
                             ? "N/A"
                             : format("%.0f kb/s", std::floor(number(fmt["bit_rate"]) / 1000)));
    report += "\n";
    size_t position = 0;
    for (const JsonValue& stream : answer["streams"].items)
        report += streamLine(stream, position++);
    return report;
}

int runProbe(const std::string& source, const std::string& ffprobe)
{
    std::string answer;
    std::unique_ptr<TempFolder> link;
    const int code =
        runTool({ffprobe, "-v", "error", "-of", "json", "-show_entries",
                 "format=format_name,duration,start_time,bit_rate:stream=index,codec_type,"
                 "codec_name,pix_fmt,width,height,r_frame_rate,avg_frame_rate,sample_rate,"
                 "channels,bit_rate",
                 sourceForFFmpeg(source, link)},
                &answer);
    if (code != 0)
        return 1; // ffprobe has said why on the shared error output
    const std::string report = legacyReport(parseJson(answer), source);
    std::fputs(report.c_str(), stderr);
    std::fputs("At least one output file must be specified\n", stderr);
    return 1;
}
