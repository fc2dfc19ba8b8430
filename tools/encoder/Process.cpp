#include "Process.h"

#include "Failure.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace
{

volatile sig_atomic_t pendingStop = 0;
volatile sig_atomic_t childPid = 0;
const int forwarded[] = {SIGINT, SIGTERM, SIGHUP};

void onStopSignal(int sig)
{
    pendingStop = sig;
    if (childPid > 0)
        kill(static_cast<pid_t>(childPid), sig);
}

// A file in memory that collects a child's output, or -1 when none is wanted.
int collector(const std::string* wanted)
{
    if (!wanted)
        return -1;
    const int fd = memfd_create("kestrel-output", MFD_CLOEXEC);
    if (fd < 0)
        throw Failure(std::string("cannot collect a program's output: ") + std::strerror(errno));
    return fd;
}

void collect(int fd, std::string* into)
{
    if (fd < 0)
        return;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n > 0) {
            into->append(buffer, static_cast<size_t>(n));
            at += n;
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fd);
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isSelf(const std::string& path)
{
    struct stat self = {};
    struct stat other = {};
    return stat("/proc/self/exe", &self) == 0 && stat(path.c_str(), &other) == 0 &&
           sameFile(self, other);
}

bool ownFolder(const std::string& dir)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return false;
    std::string folder(self, static_cast<size_t>(n));
    folder = folder.substr(0, folder.rfind('/') + 1);
    struct stat a = {};
    struct stat b = {};
    return stat(folder.c_str(), &a) == 0 && stat(dir.c_str(), &b) == 0 && sameFile(a, b);
}

} // namespace

std::string findTool(const char* envName, const char* name)
{
    if (const char* chosen = std::getenv(envName); chosen && *chosen) {
        if (isSelf(chosen))
            throw Failure(std::string(envName) + " names this front-end, not the real " + name);
        if (access(chosen, X_OK) != 0)
            throw Failure(std::string(envName) + "=" + quoted(chosen) +
                          " is not a program that can be run");
        return chosen;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string entry = dirs.substr(start, end - start);
        const std::string dir = entry.empty() ? std::string(1, '.') : entry; // empty means here
        start = end + 1;
        const std::string candidate = dir + "/" + name;
        struct stat st = {};
        if (ownFolder(dir) || stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            access(candidate.c_str(), X_OK) != 0 || isSelf(candidate))
            continue;
        return candidate;
    }
    throw Failure(std::string("the real ") + name +
                  " was not found on the PATH (install Debian's ffmpeg package or set " + envName +
                  ")");
}

void installSignalForwarding()
{
    // An ignored SIGCHLD, inherited from whoever started us, would make the
    // children's ends unknowable.
    signal(SIGCHLD, SIG_DFL);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a wait returns so the stop is seen
    for (int sig : forwarded)
        sigaction(sig, &action, nullptr);
}

int stopSignal()
{
    return pendingStop;
}

std::vector<std::string> ffmpegReading(const std::string& ffmpeg, const std::string& source)
{
    return {ffmpeg, "-nostdin", "-hide_banner", "-stats", "-i", source};
}

int runTool(const std::vector<std::string>& argv, std::string* out, std::string* err,
            const std::vector<int>& inherit)
{
    std::vector<char*> cargs;
    for (const std::string& a : argv)
        cargs.push_back(const_cast<char*>(a.c_str()));
    cargs.push_back(nullptr);
    // Output collected in memory files: the child never waits for us to read.
    const int outFd = collector(out), errFd = collector(err);

    // Hold the stop signals until the child's id is known, so none is lost.
    sigset_t stops, previous;
    sigemptyset(&stops);
    for (int sig : forwarded)
        sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &previous);
    const pid_t parent = getpid();
    const pid_t pid = pendingStop ? -1 : fork();
    if (pid == 0) {
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a front-end that was killed
        if (getppid() != parent)
            _exit(127);
#endif
        for (int sig : forwarded)
            signal(sig, SIG_DFL);
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) {
            dup2(devnull, 0);
            close(devnull);
        }
        if (outFd >= 0)
            dup2(outFd, 1);
        if (errFd >= 0)
            dup2(errFd, 2);
        for (int fd : inherit)
            fcntl(fd, F_SETFD, 0);
        execv(cargs[0], cargs.data());
        const std::string message =
            std::string("ffmpeg: cannot run ") + argv[0] + ": " + std::strerror(errno) + "\n";
        [[maybe_unused]] ssize_t ignored = write(2, message.data(), message.size());
        _exit(127);
    }
    const int forkError = errno;
    if (pid > 0)
        childPid = pid;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    int status = 0;
    int waitError = 0;
    if (pid > 0) {
        pid_t waited;
        while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        waitError = waited < 0 ? errno : 0;
        childPid = 0;
    }
    collect(outFd, out);
    collect(errFd, err);
    if (pendingStop)
        return 128 + pendingStop; // whatever the child made of the signal
    if (pid < 0)
        throw Failure(std::string("cannot start ") + argv[0] + ": " + std::strerror(forkError));
    if (waitError) // never taken for "ended with 0"
        throw Failure("cannot learn how " + oneLine(argv[0]) +
                      " ended: " + std::strerror(waitError));
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
