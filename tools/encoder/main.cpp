// ffmpeg (the application folder's encoder): accepts the older encoder
// command lines the window writes and runs the system's FFmpeg with today's
// options. Our own errors exit with 1 and one line "ffmpeg: ..." on the error
// output; FFmpeg's exit code is passed through.
#include "CommandLine.h"
#include "Encode.h"
#include "Failure.h"
#include "Probe.h"
#include "Process.h"
#include "Stills.h"

#include <cstdio>
#include <cstdlib>

namespace
{

// Set for the programs we start: if one of them is a copy of this front-end
// after all, it stops instead of starting itself again and again.
const char* const nestingMark = "KESTREL_ENCODER_FRONTEND";

int run(int argc, char** argv)
{
    if (std::getenv(nestingMark))
        throw Failure(
            "the encoder found is this front-end again; set KESTREL_FFMPEG to the real ffmpeg");
    const Job job = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    installSignalForwarding();
    setenv(nestingMark, "1", 1);
    switch (job.kind) {
    case JobKind::Probe:
        return runProbe(job.input, findTool("KESTREL_FFPROBE", "ffprobe"));
    case JobKind::Encode:
        return runEncode(job, findTool("KESTREL_FFMPEG", "ffmpeg"));
    case JobKind::Stills:
        return runStills(job, findTool("KESTREL_FFMPEG", "ffmpeg"));
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    int code = 1;
    try {
        code = run(argc, argv);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "ffmpeg: %s\n", failure.what());
        code = 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ffmpeg: internal error: %s\n", error.what());
        code = 1;
    }
    if (const int sig = stopSignal())
        return 128 + sig; // stopped: the scratch files are gone by now
    return code;
}
