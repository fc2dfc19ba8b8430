#include "scratch.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scratch
{
namespace
{

constexpr char kMark[] = ".kestrel-scratch@";

std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    return name;
}

// Removes `name` inside the folder `dirFd`, a folder with what it holds; links
// are removed, never followed.
void removeTree(int dirFd, const char* name)
{
    if (unlinkat(dirFd, name, 0) == 0 || errno != EISDIR)
        return;
    const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* dir = fdopendir(fd)) {
            while (const dirent* entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    removeTree(dirfd(dir), entry->d_name);
            }
            closedir(dir);
        } else {
            close(fd);
        }
    }
    unlinkat(dirFd, name, AT_REMOVEDIR);
}

// The process id of a marked name made on `host`, or 0.
pid_t leftoverOwner(const std::string& name, const std::string& host)
{
    const size_t mark = name.rfind(kMark);
    if (mark == std::string::npos)
        return 0;
    const std::string rest = name.substr(mark + sizeof kMark - 1); // HOST@PID@XXXXXX
    const size_t at1 = rest.find('@');
    const size_t at2 = at1 == std::string::npos ? at1 : rest.find('@', at1 + 1);
    if (at2 == std::string::npos || rest.substr(0, at1) != host)
        return 0;
    const std::string pid = rest.substr(at1 + 1, at2 - at1 - 1);
    if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return static_cast<pid_t>(std::atol(pid.c_str()));
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
    return open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
}

std::string namedTemplate(const std::string& folder, const std::string& base)
{
    const std::string tail =
        std::string(kMark) + hostName() + "@" + std::to_string(getpid()) + "@XXXXXX";
    const size_t room = tail.size() + 1 < 255 ? 255 - tail.size() - 1 : 0;
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    return prefix + "." + base.substr(0, room) + tail;
}

int publish(int fd, const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    // mkstemp gives a free name; the link then takes it over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = namedTemplate(folder, base);
        const int probe = mkostemp(name.data(), O_CLOEXEC);
        if (probe < 0)
            return errno;
        close(probe);
        unlink(name.c_str());
        if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (rename(name.c_str(), target.c_str()) != 0) {
            const int error = errno;
            unlink(name.c_str());
            return error;
        }
        return 0;
    }
    return EEXIST;
}

void removeLeftovers(const std::string& folder)
{
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const std::string host = hostName();
    while (const dirent* entry = readdir(dir)) {
        const pid_t owner = leftoverOwner(entry->d_name, host);
        if (owner > 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH)
            removeTree(dirfd(dir), entry->d_name);
    }
    closedir(dir);
}

namespace
{

// A real folder (not a link) of this user that only this user can enter.
bool isPrivateFolder(const std::string& path)
{
    struct stat st = {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 07777) != 0700) {
        errno = EPERM;
        return false;
    }
    return true;
}

} // namespace

std::string runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && isPrivateFolder(runtime))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && tmp[0] == '/' ? tmp : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    folder += "kestrel-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivateFolder(folder) ? folder : std::string();
}

} // namespace scratch
