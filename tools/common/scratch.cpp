#include "scratch.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scratch
{
namespace
{

constexpr char kMark[] = ".kestrel-scratch@";
constexpr char kLockName[] = "lock"; // in a marked folder
constexpr time_t kStaleSeconds = 3600;
// How much later than a folder's time its maker's start must lie to tell
// them apart: file times may be coarse (2 s on FAT) and clocks step.
constexpr double kSameMoment = 5;

// A descriptor closed at the end of its scope.
struct Closer {
    int fd;
    ~Closer()
    {
        if (fd >= 0)
            close(fd);
    }
};

// This host's name as a mark carries it.
std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    std::string host = name;
    for (char& c : host)
        if (c == '@' || c == '/')
            c = '_';
    return host;
}

// A marked hidden name made from `base`, within 255 bytes, ending in six
// random letters and digits.
std::string markedName(const std::string& base)
{
    static const char symbols[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned counter = 0;
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != ssize_t(sizeof bytes)) {
        timespec now = {};
        clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long mix = unsigned(now.tv_nsec) ^ (unsigned(getpid()) << 20) ^ ++counter;
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>((mix = mix * 6364136223846793005ull + 1) >> 56);
    }
    std::string tail = kMark + hostName() + "@" + std::to_string(getpid()) + "@";
    for (unsigned char b : bytes)
        tail += symbols[b % (sizeof symbols - 1)];
    const size_t room = tail.size() + 1 < 255 ? 255 - tail.size() - 1 : 0;
    return "." + base.substr(0, room) + tail;
}

// What a whole marked name (".BASE.kestrel-scratch@HOST@PID@XXXXXX") records;
// `host` is empty when `name` is not one, `pid` 0 when it is no process id.
struct Mark {
    std::string host;
    pid_t pid = 0;
};

Mark markOf(const std::string& name)
{
    const size_t n = name.size(), markLength = sizeof kMark - 1;
    if (n < markLength + 11 || name[0] != '.' || name[n - 7] != '@')
        return {};
    for (size_t i = n - 6; i < n; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return {};
    const size_t pidAt = name.rfind('@', n - 8);
    if (pidAt == std::string::npos || pidAt + 1 == n - 7 || n - 7 - pidAt > 11 ||
        name.find_first_not_of("0123456789", pidAt + 1) != n - 7)
        return {};
    const size_t hostAt = name.rfind('@', pidAt - 1);
    if (hostAt == std::string::npos || hostAt + 1 == pidAt || hostAt < markLength ||
        name.compare(hostAt + 1 - markLength, markLength, kMark) != 0)
        return {};
    const long long pid = std::stoll(name.substr(pidAt + 1, n - 8 - pidAt));
    return {name.substr(hostAt + 1, pidAt - hostAt - 1), pid <= 0x7fffffff ? pid_t(pid) : 0};
}

// True when process `pid` of this host, which made a marked folder no later
// than `made`, has certainly ended: no process has that id, or a zombie, or
// one that started after `made` (the id was given again). A stopped process
// is alive; when in doubt, it is too.
bool makerEnded(pid_t pid, const timespec& made)
{
    if (pid <= 0)
        return false;
    char stat[1024] = {};
    const Closer file{
        open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0 || read(file.fd, stat, sizeof stat - 1) <= 0)
        return kill(pid, 0) != 0 && errno == ESRCH;
    // "PID (NAME) STATE ..." where NAME may hold anything; the start, in
    // clock ticks since boot, is field 22.
    const char* field = std::strrchr(stat, ')');
    for (int n = 2; field && n < 22; ++n)
        field = std::strchr(field + 1, ' ');
    if (!field)
        return false;
    const char state = std::strrchr(stat, ')')[2];
    if (state == 'Z' || state == 'X')
        return true;
    timespec now = {}, sinceBoot = {};
    const long ticks = sysconf(_SC_CLK_TCK);
    if (ticks <= 0 || clock_gettime(CLOCK_REALTIME, &now) != 0 ||
        clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
        return false;
    const double bootedAt =
        double(now.tv_sec - sinceBoot.tv_sec) + (now.tv_nsec - sinceBoot.tv_nsec) / 1e9;
    const double started = bootedAt + std::strtod(field + 1, nullptr) / double(ticks);
    return started > double(made.tv_sec) + made.tv_nsec / 1e9 + kSameMoment;
}

enum class Lock { Taken, Held, Untried };

// Takes a lock of `type` on all of the file open as `fd`; it lasts as long as
// that open file. Held: another holds it; Untried: the filesystem cannot say.
Lock lockWhole(int fd, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return Lock::Taken;
    return errno == EAGAIN || errno == EACCES ? Lock::Held : Lock::Untried;
}

// Marks the new scratch file `fd` as in use. False when a sweep of another run
// was quicker (it holds the lock, or has removed the file), so that the maker
// starts again under another name.
bool holdNew(int fd)
{
    struct stat st = {};
    return lockWhole(fd, F_WRLCK) != Lock::Held && fstat(fd, &st) == 0 && st.st_nlink > 0;
}

// Removes `name` inside the folder `dirFd`, a folder with what it holds; links
// are removed, never followed.
void removeTree(int dirFd, const char* name)
{
    if (unlinkat(dirFd, name, 0) == 0 || errno != EISDIR)
        return;
    const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        removeContents(fd);
        close(fd);
    }
    unlinkat(dirFd, name, AT_REMOVEDIR);
}

// Removes what the folder `dirFd` holds but the entry `kept` (none when null).
void removeAllBut(int dirFd, const char* kept)
{
    DIR* dir = fdopendir(openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
            (!kept || std::strcmp(entry->d_name, kept) != 0))
            removeTree(dirfd(dir), entry->d_name);
    closedir(dir);
}

// Removes the marked folder `name` of `parentFd`, open as `fd`: the lock file
// goes last, so that a maker that makes it meanwhile keeps its folder.
void removeMarkedFolder(int parentFd, const char* name, int fd)
{
    removeAllBut(fd, kLockName);
    unlinkat(fd, kLockName, 0);
    unlinkat(parentFd, name, AT_REMOVEDIR);
}

// Removes the marked entry `name` of the folder `dirFd` when a run that is gone
// left it (see removeLeftovers()).
void removeIfLeft(int dirFd, const char* name, const std::string& host)
{
    const Mark mark = markOf(name);
    struct stat st = {};
    if (mark.host.empty() || fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        st.st_uid != geteuid() || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
        return;
    const bool folder = S_ISDIR(st.st_mode);
    const Closer entry{openat(
        dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (folder ? O_DIRECTORY : O_NONBLOCK))};
    struct stat opened = {};
    if (entry.fd < 0 || fstat(entry.fd, &opened) != 0 || opened.st_ino != st.st_ino ||
        opened.st_dev != st.st_dev)
        return;
    Closer lockFile{
        folder ? openat(entry.fd, kLockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1};
    if (folder && lockFile.fd < 0 && errno == ENOENT && mark.host == host && mark.pid > 0) {
        // Its maker had not made the lock file yet, or was removing the
        // folder: the process id in the name tells whether it still runs.
        if (!makerEnded(mark.pid, st.st_mtim))
            return;
        // Should that be wrong, the maker finds this lock file and starts
        // again under another name.
        lockFile.fd =
            openat(entry.fd, kLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (lockFile.fd >= 0) {
            lockWhole(lockFile.fd, F_WRLCK);
            removeMarkedFolder(dirFd, name, entry.fd);
            return;
        }
        if (errno != EEXIST)
            return;
        lockFile.fd = openat(entry.fd, kLockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    // A read lock: it conflicts with the maker's, and a maker that comes later
    // finds it and goes elsewhere.
    const Lock lock = folder && lockFile.fd < 0
                          ? Lock::Untried
                          : lockWhole(folder ? lockFile.fd : entry.fd, F_RDLCK);
    if (lock == Lock::Held)
        return;
    if ((lock == Lock::Untried || mark.host != host) && time(nullptr) - st.st_mtime < kStaleSeconds)
        return;
    if (folder)
        removeMarkedFolder(dirFd, name, entry.fd);
    else
        unlinkat(dirFd, name, 0);
}

// True when `path` is a real folder of this user that group and others cannot
// enter; with `fix`, such a folder that they can enter is made so.
bool isPrivateFolder(const std::string& path, bool fix)
{
    const Closer folder{open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    struct stat st = {};
    if (folder.fd < 0 && (errno == ELOOP || errno == ENOTDIR))
        errno = EPERM;
    if (folder.fd < 0 || fstat(folder.fd, &st) != 0)
        return false;
    if (st.st_uid != geteuid() || ((st.st_mode & 077) != 0 && !fix)) {
        errno = EPERM;
        return false;
    }
    return (st.st_mode & 077) == 0 || fchmod(folder.fd, st.st_mode & 07700) == 0;
}

} // namespace

bool namedOnly()
{
    const char* value = std::getenv("KESTREL_SCRATCH_NAMED");
    return value && *value;
}

int openUnnamed(const std::string& folder, mode_t mode)
{
    // Without /proc the file could not be given a name later.
    if (namedOnly() || access("/proc/self/fd", X_OK) != 0) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0)
        lockWhole(fd, F_WRLCK); // publish() names it for a moment
    return fd;
}

int openMarked(const std::string& folder, const std::string& base, std::string& path)
{
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + markedName(base);
        const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return -1;
        if (fd >= 0 && holdNew(fd)) {
            path = name;
            return fd;
        }
        if (fd >= 0)
            close(fd); // a sweep took it; it removes it
    }
    errno = EEXIST;
    return -1;
}

int makeMarkedFolder(int parentFd, const std::string& base, std::string& name, int& lockFd)
{
    lockFd = -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = markedName(base);
        if (mkdirat(parentFd, name.c_str(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Until the lock file is locked, a sweep that finds this process gone
        // (by mistake) removes the folder or makes the lock file first: start
        // again under another name then (ENOENT, EEXIST).
        const int fd =
            openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            continue;
        struct stat st = {};
        if (fd < 0 || fstat(fd, &st) != 0 || st.st_uid != geteuid()) {
            const int error = fd < 0 ? errno : EPERM;
            if (fd >= 0)
                close(fd);
            errno = error;
            return -1;
        }
        lockFd = openat(fd, kLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (lockFd >= 0 && holdNew(lockFd) && fstat(fd, &st) == 0 && st.st_nlink > 0)
            return fd;
        const int error = errno;
        close(fd);
        if (lockFd >= 0 || error == ENOENT || error == EEXIST) {
            if (lockFd >= 0)
                close(lockFd); // a sweep was quicker; it removes the folder
            lockFd = -1;
            continue;
        }
        unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
        errno = error;
        return -1;
    }
    errno = EEXIST;
    return -1;
}

void removeContents(int dirFd)
{
    removeAllBut(dirFd, nullptr);
}

int syncFolder(int dirFd)
{
    // EINVAL: a filesystem that has no way to sync a folder.
    return fsync(dirFd) == 0 || errno == EINVAL ? 0 : errno;
}

Published publish(int fd, const std::string& named, const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (fsync(fd) != 0 && errno != EINVAL)
        return {errno, false};
    std::string from = named;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; from.empty() && attempt < 100; ++attempt) {
        const std::string name = folder + markedName(base);
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            from = name;
        else if (errno != EEXIST)
            return {errno, false};
    }
    if (from.empty())
        return {EEXIST, false};
    if (rename(from.c_str(), target.c_str()) != 0) {
        const int error = errno;
        if (named.empty())
            unlink(from.c_str());
        return {error, false};
    }
    const Closer dir{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    return {dir.fd < 0 ? errno : syncFolder(dir.fd), true};
}

void removeLeftovers(const std::string& folder)
{
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const std::string host = hostName();
    while (const dirent* entry = readdir(dir))
        removeIfLeft(dirfd(dir), entry->d_name, host);
    closedir(dir);
}

std::string runtimeFolder()
{
    // The user's runtime folder is used as it is, never changed.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && isPrivateFolder(runtime, false))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && tmp[0] == '/' ? tmp : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    folder += "kestrel-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivateFolder(folder, true) ? folder : std::string();
}

} // namespace scratch
