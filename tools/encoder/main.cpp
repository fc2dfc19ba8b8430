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
#include "Stream.h"

#include "scratch.h"

#include <cstdio>
#include <cstdlib>

namespace
{

const char* const usage =
    "Usage: ffmpeg -i SOURCE                      describe SOURCE (and exit 1)\n"
    "       ffmpeg -i SOURCE [OPTIONS] OUTPUT.flv  encode to an FLV file\n"
    "       ffmpeg -i SOURCE [-s WxH] -vframes N STILL%d.jpg  take the first N frames\n"
    "       ffmpeg -i SOURCE [OPTIONS] -stream URL [-stream URL...]  stream live\n"
    "Kestrel's encoder front-end: it reads the older encoder's command lines and runs\n"
    "the system's FFmpeg ($KESTREL_FFMPEG, else ffmpeg on the PATH; $KESTREL_FFPROBE,\n"
    "else ffprobe, for the description).\n"
    "\n"
    "  -b 225kb/s  video bitrate     -s 400x300   frame size    -r 24  frame rate\n"
    "  -ar 22050Hz -ab 64k -ac 1     MP3 audio (11025, 22050 or 44100 Hz), or -an\n"
    "  -vcodec libx264 -acodec libfaac  H.264 video and AAC audio instead, as browser\n"
    "              players and streaming servers take them\n"
    "  -vhook \"imlib2.dll -c COLOUR -F FONTFILE/SIZE -C RGB.TXT -A 0..255 -x X -y Y -t TEXT\"\n"
    "              a text watermark (the text is the rest of the argument)\n"
    "  -stream rtmp[s]://HOST[:PORT]/APP/KEY  send the encode, at the source's own\n"
    "              speed, to this server; one encode goes to every -stream given\n"
    "  --help, --version\n"
    "\n"
    "Streaming: a keyframe every 2 s; with -an a silent track (MP3, or AAC with\n"
    "libx264). rtmps:// servers are verified against $SSL_CERT_FILE, else the\n"
    "system's certificates. A server that drops out is tried again after 1, 2, 4, 8,\n"
    "16 s, then every 30 s, for up to 10 minutes, and joins where the source has got\n"
    "to; one that takes nothing for 10 s counts as dropped. A refused key or a\n"
    "certificate that fails is not tried again. Besides FFmpeg's frame=... lines,\n"
    "each server's state goes to the error output as one line, the key shown as ****:\n"
    "  destination N URL: connecting | sending | reconnecting: WHY | failed: WHY | ended\n"
    "WHY is one of: THE STREAMING SERVER CANNOT BE REACHED!  THE SERVER REFUSED THE\n"
    "STREAM! CHECK THE STREAM KEY.  THE CONNECTION TO THE STREAMING SERVER WAS LOST!\n"
    "THE SERVER'S CERTIFICATE COULD NOT BE VERIFIED!\n"
    "\n"
    "Exit status: FFmpeg's own; 1 with one line \"ffmpeg: ...\" for an error of the\n"
    "front-end; 128 + the signal when stopped by SIGINT or SIGTERM (a stream is\n"
    "ended cleanly at each server first). A stream: 0 when every server got it to\n"
    "the end, also when only some did (then with a line \"ffmpeg: warning: ...\"\n"
    "naming the others); 1 when none did.\n";

// Set for the programs we start: if one of them is a copy of this front-end
// after all, it stops instead of starting itself again and again.
const char* const nestingMark = "KESTREL_ENCODER_FRONTEND";

int run(int argc, char** argv)
{
    if (std::getenv(nestingMark))
        throw Failure(
            "the encoder found is this front-end again; set KESTREL_FFMPEG to the real ffmpeg");
    const Job job = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (job.kind == JobKind::Help || job.kind == JobKind::Version) {
        std::fputs(job.kind == JobKind::Help ? usage
                                             : "ffmpeg (Kestrel encoder front-end) " KESTREL_VERSION
                                               "\n",
                   stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    installSignalForwarding();
    setenv(nestingMark, "1", 1);
    // Links to sources live in the runtime folder; a killed run's are removed here.
    if (const std::string runtime = scratch::runtimeFolder(); !runtime.empty())
        scratch::removeLeftovers(runtime);
    switch (job.kind) {
    case JobKind::Probe:
        return runProbe(job.input, findTool("KESTREL_FFPROBE", "ffprobe"));
    case JobKind::Encode:
        return runEncode(job, findTool("KESTREL_FFMPEG", "ffmpeg"));
    case JobKind::Stills:
        return runStills(job, findTool("KESTREL_FFMPEG", "ffmpeg"));
    case JobKind::Stream:
        return runStream(job, findTool("KESTREL_FFMPEG", "ffmpeg"));
    case JobKind::Help:
    case JobKind::Version:
        break;
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
        // After a stop, a step that failed for it (asking FFmpeg, say) needs no word.
        if (!stopSignal())
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
