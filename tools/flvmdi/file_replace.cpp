#include "file_replace.h"
#include "errors.h"
#include "scratch.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace flvmdi
{

namespace
{

// Path of the named new file while it exists, for the signal handler.
char g_tempPath[PATH_MAX + 256];
volatile sig_atomic_t g_haveTemp = 0;
// Every signal whose default action ends the program, except those that
// come back as errors (SIGXFSZ, SIGPIPE: ignored) and program faults.
const int kCleanupSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGBUS, SIGALRM,
                               SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};

extern "C" void onSignal(int sig)
{
    if (g_haveTemp)
        unlink(g_tempPath);
    signal(sig, SIG_DFL);
    raise(sig);
}

// Blocks the cleanup signals for its lifetime, so that creating and
// registering the named file (or naming the new file and forgetting it) is
// one step.
class SignalBlock
{
public:
    SignalBlock()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kCleanupSignals)
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

// The new file while it is written: unnamed, so that nothing is left if the
// program is killed, and given the target's name when complete. Where the
// file system refuses unnamed files it has a marked scratch name, which a
// signal removes and which a later run removes after a SIGKILL.
class NewFile
{
public:
    explicit NewFile(const std::string& target) : target_(target)
    {
        const std::string dir = folderOf(target);
        scratch::removeLeftovers(dir);
        fd_ = scratch::openUnnamed(dir, 0600);
        if (fd_ >= 0)
            return;
        SignalBlock block;
        std::string name;
        fd_ = scratch::openMarked(dir, target.substr(dir.size()), name);
        if (fd_ >= 0 && name.size() >= sizeof g_tempPath) {
            unlink(name.c_str());
            close(fd_);
            fd_ = -1;
            errno = ENAMETOOLONG;
        }
        if (fd_ < 0)
            throw IoError("cannot create a temporary file in its folder: " + errnoText(errno));
        std::strcpy(g_tempPath, name.c_str());
        path_ = name;
        g_haveTemp = 1;
    }

    ~NewFile()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!path_.empty()) {
            SignalBlock block;
            unlink(path_.c_str());
            g_haveTemp = 0;
        }
    }

    int fd() const { return fd_; }

    // Puts the new file in the target's place, durably.
    void publish()
    {
        SignalBlock block;
        const scratch::Published done = scratch::publish(fd_, path_, target_);
        if (done.placed) {
            path_.clear();
            g_haveTemp = 0;
        }
        if (done.error)
            throw IoError((done.placed ? "cannot sync the folder: " : "cannot replace the file: ") +
                          errnoText(done.error));
    }

private:
    std::string target_;
    int fd_ = -1;
    std::string path_; // empty while unnamed
};

[[noreturn]] void writeFailed(int err)
{
    throw IoError("cannot write the new file: " + errnoText(err));
}

void pwriteAll(int fd, const void* data, size_t len, uint64_t pos)
{
    const char* p = static_cast<const char*>(data);
    while (len > 0) {
        ssize_t n = pwrite(fd, p, len, static_cast<off_t>(pos));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            writeFailed(n < 0 ? errno : ENOSPC);
        p += n;
        len -= size_t(n);
        pos += uint64_t(n);
    }
}

// Plain read and write, for file systems without copy_file_range.
void copyByBuffer(int in, int out, uint64_t src, uint64_t len, uint64_t dst)
{
    static std::vector<char> buf(256 * 1024);
    while (len > 0) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(len, buf.size()));
        ssize_t n = pread(in, buf.data(), want, static_cast<off_t>(src));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError("cannot read the file: " + errnoText(errno));
        if (n == 0)
            throw IoError("the file became shorter while it was being read");
        pwriteAll(out, buf.data(), size_t(n), dst);
        src += uint64_t(n);
        dst += uint64_t(n);
        len -= uint64_t(n);
    }
}

void copyData(int in, int out, uint64_t src, uint64_t len, uint64_t dst)
{
    static bool kernelCopy = true;
    while (len > 0 && kernelCopy) {
        loff_t offIn = static_cast<loff_t>(src), offOut = static_cast<loff_t>(dst);
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(len, 1u << 30));
        ssize_t n = copy_file_range(in, &offIn, out, &offOut, chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
            kernelCopy = false;
            break;
        }
        if (n < 0)
            writeFailed(errno);
        if (n == 0)
            throw IoError("the file became shorter while it was being read");
        src += uint64_t(n);
        dst += uint64_t(n);
        len -= uint64_t(n);
    }
    if (len > 0)
        copyByBuffer(in, out, src, len, dst);
}

} // namespace

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/') + 1);
}

void installSignalCleanup()
{
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : kCleanupSignals)
        sigaction(s, &sa, nullptr);
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}

void copyRange(int in, int out, uint64_t src, uint64_t len, uint64_t dst)
{
    const uint64_t end = src + len;
    while (src < end) {
        off_t data = lseek(in, static_cast<off_t>(src), SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            return; // only a hole is left: the new file reads zeros there too
        if (data < 0)
            data = static_cast<off_t>(src); // no hole information
        if (uint64_t(data) >= end)
            return;
        off_t hole = lseek(in, data, SEEK_HOLE);
        uint64_t stop = hole < 0 ? end : std::min<uint64_t>(uint64_t(hole), end);
        if (stop <= uint64_t(data))
            stop = end;
        copyData(in, out, uint64_t(data), stop - uint64_t(data), dst + (uint64_t(data) - src));
        dst += stop - src;
        src = stop;
    }
}

void replaceFile(int in, const std::string& target, const struct stat& before,
                 const ScanResult& scan, const OutputPlan& plan)
{
    NewFile tmp(target);
    const int out = tmp.fd();
    // Owner first: changing it clears the set-id bits that the mode restores.
    if (fchown(out, before.st_uid, before.st_gid) != 0 && errno != EPERM)
        throw IoError("cannot set the owner of the new file: " + errnoText(errno));
    if (fchmod(out, before.st_mode & 07777) != 0)
        throw IoError("cannot set the permissions of the new file: " + errnoText(errno));

    pwriteAll(out, plan.header, sizeof plan.header, 0);
    uint64_t pos = sizeof plan.header;
    pwriteAll(out, plan.metadataTag.data(), plan.metadataTag.size(), pos);
    pos += plan.metadataTag.size();
    for (const Segment& s : scan.segments) {
        copyRange(in, out, s.offset, s.length, pos);
        pos += s.length;
    }
    if (scan.appendBackPointer) {
        const uint32_t v = scan.backPointerValue;
        const uint8_t bp[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        pwriteAll(out, bp, sizeof bp, pos);
        pos += sizeof bp;
    }
    // Holes at the end are not written; the size makes them part of the file.
    if (ftruncate(out, static_cast<off_t>(pos)) != 0)
        writeFailed(errno);
    if (pos != plan.fileSize)
        throw IoError("internal error: wrote " + std::to_string(pos) + " bytes, planned " +
                      std::to_string(plan.fileSize));
    if (fsync(out) != 0)
        writeFailed(errno);

    struct stat now {
    };
    if (fstat(in, &now) != 0 || now.st_size != before.st_size ||
        now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        throw IoError("the file changed while it was being read; left unchanged");

    tmp.publish();
}

} // namespace flvmdi
