// libFuzzer target for the front-end's reading of its input: the command line
// (the input split at NUL bytes), the -vhook argument, the stills pattern, and
// the report made from ffprobe's answer. Built with clang by fuzz_seeds.sh.
//
// Besides "no crash, no undefined behaviour" it checks that every refusal is
// a Failure of one line, that the drawtext filter stays one filter, and that
// no report line passes for a stream line unless it is one of ours.
#include "CommandLine.h"
#include "Failure.h"
#include "Probe.h"
#include "Stills.h"
#include "Watermark.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace
{

void check(bool ok)
{
    if (!ok)
        std::abort();
}

template <typename F>
void refusedInOneLine(F&& f)
{
    try {
        f();
    } catch (const Failure& failure) {
        check(std::string(failure.what()).find('\n') == std::string::npos);
    }
}

// True when a filter graph parser sees nothing in TEXT that ends the filter.
bool oneFilter(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (std::string_view(",;[]").find(text[i]) != std::string_view::npos)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args(1);
    for (char c : input) {
        if (c)
            args.back().push_back(c);
        else
            args.emplace_back();
    }

    refusedInOneLine([&] { parseCommandLine(args); });
    refusedInOneLine([&] {
        const Watermark mark = parseVhook(args[0]);
        check(mark.alpha >= 0 && mark.alpha <= 255 && !mark.fontFile.empty());
        check(decimalNumber(mark.x, 6, true) && decimalNumber(mark.y, 6, true));
        check(oneFilter(drawtextFilter(mark, {1, 2, 3}, "/dev/fd/3").substr(9)));
    });
    if (const auto pattern = parseStillPattern(args[0]))
        check(!pattern->nameFor(1).empty());

    check(defused(input).find("Video:") == std::string::npos);
    refusedInOneLine([&] {
        const std::string report = legacyReport(input, args.back());
        for (size_t start = 0, end; start < report.size(); start = end + 1) {
            end = report.find('\n', start);
            const std::string line = report.substr(start, end - start);
            if (line.find("Video:") != std::string::npos)
                check(line.rfind("    Stream #0.", 0) == 0 &&
                      line.find(": Video: ") == line.find(':'));
        }
    });
    return 0;
}
