// libFuzzer target (built with clang by fuzz_seeds.sh) for what the front-end reads: the command
// line (the input split at NUL bytes), the -vhook argument, the stills pattern and ffprobe's answer
// (the whole input). Every refusal must be a Failure of one line, the drawtext filter one filter of
// the graph, and only our own stream lines may hold "Video:".
#include "CommandLine.h"
#include "Failure.h"
#include "Probe.h"
#include "Stills.h"
#include "Watermark.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <functional>

static const auto check = [](bool ok) { ok ? void() : std::abort(); };

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args(1);
    for (char c : input)
        c ? args.back().push_back(c) : args.emplace_back().clear();
    auto refusedInOneLine = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const Failure& failure) {
            check(std::string(failure.what()).find('\n') == std::string::npos);
        }
    };
    refusedInOneLine([&] { parseCommandLine(args); });
    refusedInOneLine([&] {
        const Watermark mark = parseVhook(args[0]);
        check(mark.alpha >= 0 && mark.alpha <= 255 && decimalNumber(mark.x, 6, true) &&
              decimalNumber(mark.y, 6, true));
        // Nothing unescaped may end the filter's arguments.
        const std::string filter = drawtextFilter(mark, {1, 2, 3}, "/dev/fd/3");
        for (size_t i = 0; i < filter.size(); ++i)
            check(filter[i] == '\\'
                      ? ++i > 0
                      : std::string_view(",;[]").find(filter[i]) == std::string::npos);
    });
    if (const auto pattern = parseStillPattern(args[0]))
        check(!pattern->nameFor(1).empty());
    check(defused(input).find("Video:") == std::string::npos);
    refusedInOneLine([&] {
        const std::string report = legacyReport(input, args.back());
        // "Video:" is in our own stream line of each video stream, and nowhere else.
        const auto answer = nlohmann::json::parse(input, nullptr, false);
        long videos = 0;
        for (const auto& s : answer.is_object() && answer.contains("streams") ? answer["streams"]
                                                                              : nlohmann::json())
            videos += s.is_object() && s.contains("codec_type") && s["codec_type"] == "video";
        for (size_t at = 0; (at = report.find("Video:", at)) != std::string::npos; ++at)
            check(--videos >= 0);
    });
    return 0;
}
