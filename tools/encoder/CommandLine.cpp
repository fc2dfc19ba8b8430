#include "CommandLine.h"

#include "Failure.h"
#include "StreamUrl.h"

#include <array>
#include <charconv>
#include <cstdlib>

namespace
{

// VALUE without the first of UNITS it ends with, or nothing.
std::optional<std::string_view> withoutUnit(std::string_view value,
                                            std::initializer_list<std::string_view> units)
{
    for (std::string_view unit : units)
        if (value.size() > unit.size() && value.substr(value.size() - unit.size()) == unit)
            return value.substr(0, value.size() - unit.size());
    return std::nullopt;
}

std::string videoBitrate(const std::string& value)
{
    const auto number = withoutUnit(value, {"kbit/s", "kb/s", "k"});
    const auto kbps = number ? decimalNumber(*number, 6) : std::nullopt;
    if (!kbps || *kbps <= 0)
        throw Failure("-b " + quoted(value) +
                      ": give the video bitrate in kbit/s, such as 225kb/s");
    return std::string(*number);
}

std::string frameSize(const std::string& value)
{
    const size_t x = value.find('x');
    if (x != std::string::npos) {
        const auto w = wholeNumber(std::string_view(value).substr(0, x), 5);
        const auto h = wholeNumber(std::string_view(value).substr(x + 1), 5);
        if (w && h && *w > 0 && *h > 0 && *w <= 4096 && *h <= 4096)
            return std::to_string(*w) + "x" + std::to_string(*h);
    }
    throw Failure("-s " + quoted(value) + ": give the frame size as WIDTHxHEIGHT, such as 400x300");
}

std::string frameRate(const std::string& value)
{
    if (const auto fps = decimalNumber(value, 6); fps && *fps > 0)
        return value;
    const size_t slash = value.find('/');
    if (slash != std::string::npos) {
        const auto num = wholeNumber(std::string_view(value).substr(0, slash), 6);
        const auto den = wholeNumber(std::string_view(value).substr(slash + 1), 6);
        if (num && den && *num > 0 && *den > 0)
            return value;
    }
    throw Failure("-r " + quoted(value) + ": give the frame rate in frames per second, such as 24");
}

int sampleRate(const std::string& value, const char* codec)
{
    const std::optional<int> rate = wholeNumber(withoutUnit(value, {"Hz"}).value_or(value));
    if (!rate)
        throw Failure("-ar " + quoted(value) + ": give the sample rate in Hz, such as 22050Hz");
    if (*rate != 11025 && *rate != 22050 && *rate != 44100)
        throw Failure("-ar " + quoted(value) + ": " + codec +
                      " audio in an FLV file has 11025, 22050 or 44100 Hz only");
    return *rate;
}

int audioBitrate(const std::string& value)
{
    const auto number = withoutUnit(value, {"kbit/s", "kb/s", "k"});
    const std::optional<int> kbps = number ? wholeNumber(*number) : std::nullopt;
    if (!kbps || *kbps < 1 || *kbps > 100000)
        throw Failure("-ab " + quoted(value) + ": give the audio bitrate in kbit/s, such as 64k");
    return *kbps;
}

int channelCount(const std::string& value, const char* codec)
{
    if (value != "1" && value != "2")
        throw Failure("-ac " + quoted(value) + ": " + codec + " audio has 1 or 2 channels");
    return value[0] - '0';
}

int stillCount(const std::string& value)
{
    std::optional<int> n = wholeNumber(value);
    if (!n || *n < 1)
        throw Failure("-vframes " + quoted(value) + ": the number of stills must be 1 or more");
    return *n;
}

} // namespace

std::optional<int> wholeNumber(std::string_view text, size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::optional<double> decimalNumber(std::string_view text, size_t wholeDigits, bool withSign)
{
    size_t p = withSign && !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    const size_t start = p;
    // Counts up to one digit more than allowed, so a long run stops early.
    auto digits = [&](size_t most) {
        size_t n = 0;
        while (p < text.size() && n <= most && text[p] >= '0' && text[p] <= '9')
            ++p, ++n;
        return n;
    };
    const size_t whole = digits(wholeDigits);
    if (whole == 0 || whole > wholeDigits)
        return std::nullopt;
    if (p < text.size() && text[p] == '.') {
        ++p;
        const size_t fraction = digits(9);
        if (fraction == 0 || fraction > 9)
            return std::nullopt;
    }
    if (p != text.size())
        return std::nullopt;
    double value = 0;
    std::from_chars(text.data() + start, text.data() + text.size(), value);
    return start == 1 && text[0] == '-' ? -value : value;
}

int mp3Bitrate(int sampleRate, int wishedKbps)
{
    // MPEG-1 (44100), MPEG-2 (22050) and MPEG-2.5 (11025) Layer III bitrates.
    static const std::vector<int> mpeg1 = {32,  40,  48,  56,  64,  80,  96,
                                           112, 128, 160, 192, 224, 256, 320};
    static const std::vector<int> mpeg2 = {8,  16, 24, 32,  40,  48,  56,
                                           64, 80, 96, 112, 128, 144, 160};
    static const std::vector<int> mpeg25 = {8, 16, 24, 32, 40, 48, 56, 64};
    const std::vector<int>& allowed = sampleRate >= 32000   ? mpeg1
                                      : sampleRate >= 16000 ? mpeg2
                                                            : mpeg25;
    int best = allowed.front();
    for (int kbps : allowed)
        if (std::abs(kbps - wishedKbps) < std::abs(best - wishedKbps))
            best = kbps;
    return best;
}

Job parseCommandLine(const std::vector<std::string>& args)
{
    Job job;
    std::vector<std::string> outputs;
    std::optional<int> frames;
    std::vector<std::string> audioOptions, encodeOnly;
    bool haveInput = false;
    // The words of the audio refusals name the codec, wherever it is asked for.
    const char* audioCodec = codecRow(Codec::Mp3).name;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-acodec" && args[i + 1] == codecRow(Codec::Aac).asked)
            audioCodec = codecRow(Codec::Aac).name;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty() || arg[0] != '-' || arg == "-") {
            outputs.push_back(arg);
            continue;
        }
        if (arg == "--help" || arg == "--version") {
            job.kind = arg == "--help" ? JobKind::Help : JobKind::Version;
            return job;
        }
        static const std::array<const char*, 12> withValue = {
            "-i",  "-b",  "-s",       "-r",      "-vhook",  "-ar",
            "-ab", "-ac", "-vframes", "-vcodec", "-acodec", "-stream"};
        bool takesValue = false;
        for (const char* name : withValue)
            takesValue = takesValue || arg == name;
        if (arg == "-an") {
            job.noAudio = true;
            encodeOnly.push_back(arg);
            continue;
        }
        if (arg == "-y") // the output is always replaced, so this asks for nothing more
            continue;
        if (!takesValue)
            throw Failure("unknown option " + quoted(arg));
        if (i + 1 >= args.size())
            throw Failure("option " + arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "-i") {
            if (haveInput)
                throw Failure("only one input file (-i) can be given");
            haveInput = true;
            job.input = value;
        } else if (arg == "-b") {
            job.videoKbps = videoBitrate(value);
            encodeOnly.push_back(arg);
        } else if (arg == "-s") {
            job.frameSize = frameSize(value);
        } else if (arg == "-r") {
            job.frameRate = frameRate(value);
            encodeOnly.push_back(arg);
        } else if (arg == "-vhook") {
            job.vhook = value;
            encodeOnly.push_back(arg);
        } else if (arg == "-ar") {
            job.sampleRate = sampleRate(value, audioCodec);
            audioOptions.push_back(arg);
        } else if (arg == "-ab") {
            job.audioKbps = audioBitrate(value);
            audioOptions.push_back(arg);
        } else if (arg == "-ac") {
            job.channels = channelCount(value, audioCodec);
            audioOptions.push_back(arg);
        } else if (arg == "-stream") {
            checkStreamUrl(value);
            job.streams.push_back(value);
        } else if (arg == "-vframes") {
            frames = stillCount(value);
        } else if (arg == "-vcodec") {
            job.video = askedCodec(arg, value);
            encodeOnly.push_back(arg);
        } else if (arg == "-acodec") {
            job.audio = askedCodec(arg, value);
            audioOptions.push_back(arg);
        }
    }

    if (!haveInput)
        throw Failure("no input file; usage: ffmpeg -i SOURCE [options] OUTPUT");
    if (job.input.empty())
        throw Failure("the input file name (-i) is empty");
    if (outputs.size() > 1)
        throw Failure("only one output file can be given, found " + quoted(outputs[0]) + " and " +
                      quoted(outputs[1]));
    encodeOnly.insert(encodeOnly.end(), audioOptions.begin(), audioOptions.end());
    if (!job.streams.empty()) {
        if (frames || !outputs.empty())
            throw Failure("-stream sends the encode to servers; it takes no output file or "
                          "-vframes besides");
        job.kind = JobKind::Stream;
        if (job.audio == Codec::Mp3)
            job.audioKbps = mp3Bitrate(job.sampleRate, job.audioKbps);
        return job;
    }
    if (outputs.empty()) {
        if (frames || job.frameSize || !encodeOnly.empty())
            throw Failure("no output file given");
        job.kind = JobKind::Probe;
        return job;
    }
    job.output = outputs[0];
    if (job.output.empty() || job.output == "-")
        throw Failure("the output needs a file name, found " + quoted(job.output));
    if (frames) {
        if (!encodeOnly.empty())
            throw Failure("option " + encodeOnly.front() +
                          " is not used when grabbing stills (-vframes)");
        job.kind = JobKind::Stills;
        job.stillCount = *frames;
    } else {
        job.kind = JobKind::Encode;
    }
    if (job.audio == Codec::Mp3) // AAC takes the bitrate as it is
        job.audioKbps = mp3Bitrate(job.sampleRate, job.audioKbps);
    return job;
}
