#include "Stream.h"

#include "Encode.h"
#include "FFmpegParts.h"
#include "Failure.h"
#include "FlvTags.h"
#include "Process.h"
#include "StreamUrl.h"
#include "TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace
{

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point then)
{
    return std::chrono::duration<double>(Clock::now() - then).count();
}

const char* const unreachableWords = "THE STREAMING SERVER CANNOT BE REACHED!";
const char* const refusedWords = "THE SERVER REFUSED THE STREAM! CHECK THE STREAM KEY.";
const char* const lostWords = "THE CONNECTION TO THE STREAMING SERVER WAS LOST!";
const char* const certificateWords = "THE SERVER'S CERTIFICATE COULD NOT BE VERIFIED!";

// A server that takes nothing for this long while data waits for it has
// stopped reading: its connection counts as lost.
constexpr double stallSeconds = 10;
// Data waiting for one server beyond this is dropped, up to the next keyframe.
constexpr size_t queueLimit = 8 << 20;
// After a drop: tries after 1, 2, 4, 8 and 16 s, then every 30 s, for up to
// 10 minutes in all ($KESTREL_STREAM_RETRY_SCALE shortens them all, for tests).
constexpr double retryDelays[] = {1, 2, 4, 8, 16, 30};
constexpr double retryWindow = 600;
// How long the encoder has to finish after it was asked to stop.
constexpr double stopSeconds = 10;

volatile sig_atomic_t stopAsked = 0, stopsAsked = 0;
int wakeFd = -1; // the pipe that wakes the loop for a signal

void onSignal(int sig)
{
    const int saved = errno;
    if (sig != SIGCHLD) {
        stopAsked = sig;
        stopsAsked = stopsAsked + 1;
    }
    [[maybe_unused]] ssize_t ignored = write(wakeFd, "", 1);
    errno = saved;
}

struct Pipe {
    Fd read, write;
};

Pipe makePipe()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw Failure(std::string("cannot make a pipe: ") + std::strerror(errno));
    return {Fd(ends[0]), Fd(ends[1])};
}

void nonBlocking(const Fd& fd)
{
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
}

// Starts ARGV with IN, OUT and ERR as its standard input, output and error
// (-1: /dev/null for the input and output, ours for the error), passing on
// INHERIT. With OWNGROUP it gets a process group of its own, so a Ctrl-C on
// the terminal reaches only the encoder; the relays are ours to end.
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err,
            const std::vector<int>& inherit, bool ownGroup)
{
    std::vector<char*> cargs;
    for (const std::string& a : argv)
        cargs.push_back(const_cast<char*>(a.c_str()));
    cargs.push_back(nullptr);
    sigset_t all, previous;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &previous);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a front-end that was killed
        if (getppid() != parent)
            _exit(127);
#endif
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGPIPE})
            signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (ownGroup)
            setpgid(0, 0);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(in >= 0 ? in : devnull, 0);
        dup2(out >= 0 ? out : devnull, 1);
        if (err >= 0)
            dup2(err, 2);
        for (int fd : inherit)
            fcntl(fd, F_SETFD, 0);
        execv(cargs[0], cargs.data());
        const std::string message =
            std::string("ffmpeg: cannot run ") + argv[0] + ": " + std::strerror(errno) + "\n";
        [[maybe_unused]] ssize_t ignored = write(2, message.data(), message.size());
        _exit(127);
    }
    const int forkError = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0)
        throw Failure("cannot start " + quoted(argv[0]) + ": " + std::strerror(forkError));
    return pid;
}

// The frames a second of a checked -r value ("24", "29.97", "30000/1001").
double framesPerSecond(const std::string& rate)
{
    const size_t slash = rate.find('/');
    return std::strtod(rate.c_str(), nullptr) /
           (slash == std::string::npos ? 1 : std::strtod(rate.c_str() + slash + 1, nullptr));
}

// The encoder: SOURCE at its own speed, in JOB's codecs and with FILTER
// drawn, as FLV on its standard output, each packet as soon as it is made.
std::vector<std::string> encoderCommand(const Job& job, const std::string& ffmpeg,
                                        const std::string& source, const std::string& filter)
{
    std::vector<std::string> argv = ffmpegReading(ffmpeg, source);
    argv.insert(argv.end() - 2, "-re");
    // FFmpeg 7 would send the first half second at once.
    if (takesOption(ffmpeg, "-readrate_initial_burst", "0", true))
        argv.insert(argv.end() - 2, {"-readrate_initial_burst", "0"});
    Job sent = job;
    if (job.noAudio) {
        // Streaming sites refuse a stream without sound: a silent track in
        // the format's own audio codec, at the rate and channels asked.
        sent.noAudio = false;
        sent.audio = job.video == Codec::H264 ? Codec::Aac : Codec::Mp3;
        argv.insert(argv.end(), {"-f", "lavfi", "-i",
                                 "anullsrc=r=" + std::to_string(job.sampleRate) +
                                     ":cl=" + (job.channels == 1 ? "mono" : "stereo"),
                                 "-map", "0:v:0", "-map", "1:a:0", "-shortest"});
    }
    const std::vector<std::string> codecs = codecOptions(sent, filter);
    argv.insert(argv.end(), codecs.begin(), codecs.end());
    // A keyframe every 2 seconds, where a server that comes back joins; the
    // H.264 options force them already.
    if (job.video != Codec::H264) {
        const double gop = job.frameRate ? std::ceil(2 * framesPerSecond(*job.frameRate)) : 600;
        argv.insert(argv.end(), {"-force_key_frames", "expr:gte(t,n_forced*2)", "-g",
                                 std::to_string(static_cast<int>(gop))});
    }
    argv.insert(argv.end(), {"-flush_packets", "1", "-sn", "-dn", "-flvflags",
                             "no_duration_filesize", "-f", "flv", "pipe:1"});
    return argv;
}

// A relay: FLV from its standard input copied to URL, connecting at once
// (no waiting for the input to be probed at length), with small send buffers
// so that a server that stops reading shows at once.
std::vector<std::string> relayCommand(const std::string& ffmpeg, const std::string& url)
{
    std::vector<std::string> argv = {ffmpeg, "-nostdin", "-hide_banner", "-v", "verbose", "-stats"};
    for (const char* option :
         {"-fpsprobesize 0", "-analyzeduration 0", "-f flv", "-i pipe:0", "-map 0", "-c copy",
          "-rw_timeout 10000000", "-send_buffer_size 32768"}) {
        const std::string words = option;
        argv.insert(argv.end(),
                    {words.substr(0, words.find(' ')), words.substr(words.find(' ') + 1)});
    }
    if (isRtmps(url)) {
        // GnuTLS ignores SSL_CERT_FILE, so the trusted certificates are named.
        const char* named = std::getenv("SSL_CERT_FILE");
        argv.insert(argv.end(), {"-tls_verify", "1", "-ca_file",
                                 named && *named ? named : "/etc/ssl/certs/ca-certificates.crt"});
    }
    argv.insert(argv.end(), {"-flvflags", "no_duration_filesize", "-f", "flv", url});
    return argv;
}

enum class State { Waiting, Connecting, Sending, Closing, Ended, Failed };

struct Destination {
    int number = 0;
    std::string url, shown;
    State state = State::Waiting;
    pid_t pid = 0;
    Fd input, errors; // the relay's standard input and error
    std::string partLine;
    std::deque<std::string> queue;
    size_t written = 0; // of the queue's first piece
    size_t queued = 0;
    bool toKeyframe = false; // data was dropped: the next piece sent starts at a keyframe
    Clock::time_point progressAt, retryAt;
    std::string status;                // the relay's last "size= ... time=" report
    std::deque<std::string> lastLines; // its last other lines, the key masked
    // What this attempt's lines told.
    bool connected = false, opened = false, unreachable = false, certificate = false,
         ioError = false, killed = false, serverError = false;
    // The outage: since when the stream is down and how often it was tried.
    std::optional<Clock::time_point> downSince;
    int retries = 0;
    bool tried = false, everSent = false;
    const char* words = unreachableWords;
};

class Streamer
{
public:
    Streamer(const Job& job, const std::string& ffmpeg) : ffmpeg_(ffmpeg)
    {
        for (const std::string& url : job.streams) {
            Destination d;
            d.number = static_cast<int>(destinations_.size()) + 1;
            d.url = url;
            d.shown = maskedUrl(url);
            d.retryAt = Clock::now();
            destinations_.push_back(std::move(d));
        }
        const char* scale = std::getenv("KESTREL_STREAM_RETRY_SCALE");
        if (scale && std::strtod(scale, nullptr) > 0)
            scale_ = std::strtod(scale, nullptr);
    }

    int run(const std::vector<std::string>& encoder, const std::vector<int>& inherit);

private:
    void say(const Destination& d, const std::string& what)
    {
        const std::string line =
            "destination " + std::to_string(d.number) + " " + d.shown + ": " + what + "\n";
        [[maybe_unused]] ssize_t ignored = write(2, line.data(), line.size());
    }
    void readEncoder();
    void onTag(const FlvTag& tag);
    void start(Destination& d, const FlvTag& keyframe);
    void enqueue(Destination& d, const FlvTag& tag);
    void pump(Destination& d);
    void readErrors(Destination& d);
    void onLine(Destination& d, const std::string& line);
    void onExit(Destination& d, int status);
    void retry(Destination& d, const char* words);
    void fail(Destination& d, const char* words);
    void endOfSource();
    void checkTimes();
    void stopEncoder(int sig);

    std::string ffmpeg_;
    std::vector<Destination> destinations_;
    double scale_ = 1;
    FlvSplitter splitter_;
    Fd encoderOutput_;
    pid_t encoderPid_ = 0;
    int encoderStatus_ = 0;
    bool sourceEnded_ = false;
    std::optional<Clock::time_point> stoppingSince_;
    bool allFailed_ = false;
};

// LINE of D's relay with D's address, and its key, as shown.
std::string masked(const Destination& d, std::string line)
{
    const std::string key = "/" + streamKey(d.url);
    for (const std::string& secret : {d.url, key}) {
        if (secret.size() <= 1)
            continue;
        const std::string shown = secret == key ? "/****" : d.shown;
        for (size_t at = 0; (at = line.find(secret, at)) != std::string::npos; at += shown.size())
            line.replace(at, secret.size(), shown);
    }
    return line;
}

void Streamer::readEncoder()
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(encoderOutput_.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            encoderOutput_ = Fd();
            endOfSource();
            return;
        }
        std::vector<FlvTag> tags;
        splitter_.feed(buffer, static_cast<size_t>(n), tags);
        for (const FlvTag& tag : tags)
            onTag(tag);
    }
}

void Streamer::onTag(const FlvTag& tag)
{
    for (Destination& d : destinations_) {
        if (d.state == State::Waiting && tag.keyframe && Clock::now() >= d.retryAt && !allFailed_)
            start(d, tag);
        else if ((d.state == State::Connecting || d.state == State::Sending) && d.input.get() >= 0)
            enqueue(d, tag);
    }
}

void Streamer::start(Destination& d, const FlvTag& keyframe)
{
    Pipe input = makePipe(), errors = makePipe();
    d.pid = spawn(relayCommand(ffmpeg_, d.url), input.read.get(), -1, errors.write.get(), {}, true);
    d.input = std::move(input.write);
    d.errors = std::move(errors.read);
    nonBlocking(d.input);
    nonBlocking(d.errors);
    d.connected = d.opened = d.unreachable = d.certificate = d.ioError = d.killed = d.serverError =
        false;
    d.partLine.clear();
    d.status.clear();
    d.queue = {splitter_.joining() + keyframe.bytes};
    d.queued = d.queue.front().size();
    d.written = 0;
    d.toKeyframe = false;
    d.tried = true;
    d.state = State::Connecting;
    d.progressAt = Clock::now();
    say(d, "connecting");
}

void Streamer::enqueue(Destination& d, const FlvTag& tag)
{
    if (d.queued + tag.bytes.size() > queueLimit) {
        // Only a piece begun is finished, so the relay still reads whole tags.
        while (d.queue.size() > (d.written > 0 ? 1 : 0)) {
            d.queued -= d.queue.back().size();
            d.queue.pop_back();
        }
        d.toKeyframe = true;
    }
    if (d.toKeyframe && !tag.keyframe && !tag.setup)
        return;
    d.toKeyframe = d.toKeyframe && !tag.keyframe;
    d.queue.push_back(tag.bytes);
    d.queued += tag.bytes.size();
}

void Streamer::pump(Destination& d)
{
    while (!d.queue.empty() && d.input.get() >= 0) {
        const std::string& piece = d.queue.front();
        const ssize_t n = write(d.input.get(), piece.data() + d.written, piece.size() - d.written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN) // the relay has gone: its end tells why
                d.input = Fd();
            return;
        }
        d.progressAt = Clock::now();
        d.written += static_cast<size_t>(n);
        if (d.written == piece.size()) {
            d.queued -= piece.size();
            d.queue.pop_front();
            d.written = 0;
        }
    }
    if (d.queue.empty() && d.state == State::Closing)
        d.input = Fd(); // the relay ends the stream at the server
}

void Streamer::readErrors(Destination& d)
{
    char buffer[8192];
    for (;;) {
        const ssize_t n = d.errors.get() < 0 ? 0 : read(d.errors.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        if (n == 0) {
            if (!d.partLine.empty())
                onLine(d, d.partLine);
            d.partLine.clear();
            d.errors = Fd();
            return;
        }
        d.partLine.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = d.partLine.find_first_of("\r\n")) != std::string::npos) {
            onLine(d, d.partLine.substr(0, end));
            d.partLine.erase(0, end + 1);
        }
        if (d.partLine.size() > 65536) // no line is that long: it is dropped
            d.partLine.clear();
    }
}

void Streamer::onLine(Destination& d, const std::string& line)
{
    auto has = [&line](const char* text) { return line.find(text) != std::string::npos; };
    const bool tcp = line.rfind("[tcp @", 0) == 0, tls = line.rfind("[tls @", 0) == 0;
    d.connected = d.connected || has("Successfully connected");
    d.unreachable =
        d.unreachable || (tcp && (has(" failed: ") || has("Failed to resolve hostname")));
    d.certificate = d.certificate || (tls && has("certificate"));
    d.ioError = d.ioError || has("Input/output error");
    // The server said no in words ("Server error: Already publishing"): the
    // relay may go on sending into nothing, so it is ended.
    if (has("Server error:") && !d.serverError) {
        d.serverError = d.killed = true;
        kill(d.pid, SIGKILL);
    }
    d.opened = d.opened || line.rfind("Output #0", 0) == 0;
    // A write that failed: the connection is lost. FFmpeg would still try
    // to end the stream there, waiting for the timeout again.
    if ((has("av_interleaved_write_frame()") || has("Error submitting a packet to the muxer")) &&
        !d.killed) {
        d.killed = true;
        kill(d.pid, SIGKILL);
    }
    const size_t size = line.find("size=");
    if (size == std::string::npos && !line.empty() && line.rfind("[AVIOContext", 0) != 0) {
        d.lastLines.push_back(masked(d, line));
        if (d.lastLines.size() > 4)
            d.lastLines.pop_front();
    }
    if (size != std::string::npos && has("time=")) {
        const std::string status = line.substr(size, line.find(" bitrate=") - size);
        if (status != d.status)
            d.progressAt = Clock::now();
        d.status = status;
    }
    if (d.state == State::Connecting && (d.opened || !d.status.empty())) {
        d.state = State::Sending;
        d.everSent = true;
        d.downSince.reset();
        d.retries = 0;
        say(d, "sending");
    }
}

void Streamer::onExit(Destination& d, int status)
{
    d.pid = 0;
    readErrors(d); // the last lines, now that no one writes them
    d.errors = Fd();
    d.input = Fd();
    d.queue.clear();
    d.queued = d.written = 0;
    if (d.serverError)
        return fail(d, refusedWords);
    const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !d.killed;
    if (d.state == State::Closing && clean) {
        d.state = State::Ended;
        say(d, "ended");
        return;
    }
    const bool wasSending =
        d.state == State::Sending || d.opened || (d.state == State::Closing && d.everSent);
    if (wasSending || d.killed)
        return retry(d, wasSending ? lostWords : unreachableWords);
    // It never got through: its lines tell why.
    if (d.certificate)
        return fail(d, certificateWords);
    // Connected, yet the stream was ended before its first frame: the key,
    // unless it was taken before (the server may still hold the stream lost).
    if (d.connected && !d.unreachable && d.ioError && !d.everSent)
        return fail(d, refusedWords);
    retry(d, unreachableWords);
}

void Streamer::retry(Destination& d, const char* words)
{
    const auto now = Clock::now();
    if (!d.downSince)
        d.downSince = now;
    const double delay =
        retryDelays[std::min<size_t>(d.retries, std::size(retryDelays) - 1)] * scale_;
    if (sourceEnded_ || stoppingSince_ ||
        std::chrono::duration<double>(now - *d.downSince).count() + delay > retryWindow * scale_)
        return fail(d, d.everSent ? lostWords : words);
    ++d.retries;
    d.words = words;
    d.retryAt =
        now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(delay));
    d.state = State::Waiting;
    say(d, std::string("reconnecting: ") + words);
}

void Streamer::fail(Destination& d, const char* words)
{
    d.state = State::Failed;
    d.words = words;
    say(d, std::string("failed: ") + words);
    for (const std::string& line : d.lastLines)
        say(d, "> " + line);
    allFailed_ = std::all_of(destinations_.begin(), destinations_.end(),
                             [](const Destination& x) { return x.state == State::Failed; });
    if (allFailed_)
        stopEncoder(SIGTERM);
}

void Streamer::endOfSource()
{
    sourceEnded_ = true;
    for (Destination& d : destinations_) {
        if (d.state == State::Waiting) {
            if (d.tried)
                fail(d, d.everSent ? lostWords : d.words);
            else
                d.state = State::Failed; // nothing was made to send: the encoder says why
        } else if (d.state == State::Connecting || d.state == State::Sending) {
            d.state = State::Closing;
            d.progressAt = Clock::now();
            pump(d);
        }
    }
}

void Streamer::stopEncoder(int sig)
{
    if (encoderPid_ > 0)
        kill(encoderPid_, sig);
    if (!stoppingSince_)
        stoppingSince_ = Clock::now();
}

void Streamer::checkTimes()
{
    for (Destination& d : destinations_) {
        if (d.pid <= 0 || d.killed)
            continue;
        // Data waits for it (in our queue or in its pipe, or it holds the end
        // of the stream), yet it has taken none and reported none sent.
        int inPipe = 0;
        const bool waiting = !d.queue.empty() || d.input.get() < 0 ||
                             (ioctl(d.input.get(), FIONREAD, &inPipe) == 0 && inPipe > 0);
        if (waiting && secondsSince(d.progressAt) > stallSeconds) {
            d.killed = true; // a relay blocked in a write may not end on SIGTERM
            kill(d.pid, SIGKILL);
        }
    }
    if (stoppingSince_ && secondsSince(*stoppingSince_) > stopSeconds && encoderPid_ > 0)
        kill(encoderPid_, SIGKILL);
}

int Streamer::run(const std::vector<std::string>& encoder, const std::vector<int>& inherit)
{
    Pipe wake = makePipe();
    nonBlocking(wake.read);
    nonBlocking(wake.write);
    wakeFd = wake.write.get();
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NOCLDSTOP;
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN); // a relay that has gone shows as EPIPE
    if (const int sig = stopSignal())
        return 128 + sig;

    Pipe output = makePipe();
    encoderPid_ = spawn(encoder, -1, output.write.get(), -1, inherit, false);
    output.write = Fd();
    encoderOutput_ = std::move(output.read);
    nonBlocking(encoderOutput_);

    bool stopSeen = false;
    for (;;) {
        std::vector<pollfd> polled = {{wake.read.get(), POLLIN, 0}};
        if (encoderOutput_.get() >= 0)
            polled.push_back({encoderOutput_.get(), POLLIN, 0});
        for (const Destination& d : destinations_) {
            if (d.errors.get() >= 0)
                polled.push_back({d.errors.get(), POLLIN, 0});
            if (d.input.get() >= 0 && !d.queue.empty())
                polled.push_back({d.input.get(), POLLOUT, 0});
        }
        poll(polled.data(), polled.size(), 200);
        char drained[64];
        while (read(wake.read.get(), drained, sizeof drained) > 0) {
        }
        if (stopAsked && !stopSeen) {
            stopSeen = true;
            stopEncoder(SIGTERM); // it ends the stream cleanly; so do the relays then
        }
        if (stopsAsked > 1) { // asked again: at once
            if (encoderPid_ > 0)
                kill(encoderPid_, SIGKILL);
            for (Destination& d : destinations_)
                if (d.pid > 0 && !d.killed) {
                    d.killed = true;
                    kill(d.pid, SIGKILL);
                }
        }
        if (encoderOutput_.get() >= 0)
            readEncoder();
        for (Destination& d : destinations_) {
            readErrors(d);
            pump(d);
        }
        int status = 0;
        for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
            if (pid == encoderPid_) {
                encoderPid_ = 0;
                encoderStatus_ = status;
            }
            for (Destination& d : destinations_)
                if (d.pid == pid)
                    onExit(d, status);
        }
        checkTimes();
        if (encoderPid_ == 0 && encoderOutput_.get() < 0 &&
            std::none_of(destinations_.begin(), destinations_.end(),
                         [](const Destination& d) { return d.pid > 0; }))
            break;
    }

    if (stopAsked)
        return 128 + stopAsked;
    const int encoderCode =
        WIFEXITED(encoderStatus_) ? WEXITSTATUS(encoderStatus_) : 128 + WTERMSIG(encoderStatus_);
    if (encoderCode != 0 && !allFailed_)
        return encoderCode; // FFmpeg has said why
    std::string missed;
    for (const Destination& d : destinations_)
        if (d.state != State::Ended)
            missed += (missed.empty() ? "" : ", ") + std::to_string(d.number) + " " + d.shown;
    if (missed.empty())
        return 0;
    if (std::none_of(destinations_.begin(), destinations_.end(),
                     [](const Destination& d) { return d.state == State::Ended; }))
        throw Failure("the stream reached none of its servers");
    std::fprintf(stderr, "ffmpeg: warning: the stream did not reach the end at destination %s\n",
                 missed.c_str());
    return 0;
}

} // namespace

int runStream(const Job& job, const std::string& ffmpeg)
{
    const EncodeText text = prepareEncode(job, ffmpeg);
    std::unique_ptr<TempFolder> link;
    const std::vector<std::string> encoder =
        encoderCommand(job, ffmpeg, sourceForFFmpeg(job.input, link), text.filter);
    Streamer streamer(job, ffmpeg);
    return streamer.run(encoder, {text.file.get()});
}
