#include "TempFiles.h"

#include "Failure.h"

#include "scratch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Fd::~Fd()
{
    if (fd_ >= 0)
        close(fd_);
}

OutputFile::OutputFile(const std::string& target) : target_(target)
{
    const std::string folder = folderOf(target);
    fd_ = Fd(scratch::openUnnamed(folder, 0666));
    // EISDIR and EINVAL come from kernels and filesystems without O_TMPFILE.
    if (fd_.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        fd_ = Fd(scratch::openMarked(folder, fileNameOf(target), named_));
        if (fd_.get() >= 0) {
            // The marked file is private; give it the mode a new file gets.
            const mode_t mask = umask(0);
            umask(mask);
            fchmod(fd_.get(), 0666 & ~mask);
        }
    }
    if (fd_.get() < 0)
        throw Failure("cannot write in the folder of " + quoted(target) + ": " +
                      std::strerror(errno));
}

OutputFile::~OutputFile()
{
    if (!named_.empty())
        unlink(named_.c_str());
}

void OutputFile::publish()
{
    const scratch::Published done = scratch::publish(fd_.get(), named_, target_);
    if (done.placed)
        named_.clear();
    if (done.error != 0)
        throw Failure((done.placed ? "cannot sync the folder of " : "cannot write ") +
                      quoted(target_) + ": " + std::strerror(done.error));
}

Fd memoryFile(const std::string& text)
{
    Fd fd(memfd_create("kestrel-text", MFD_CLOEXEC));
    size_t done = 0;
    while (fd.get() >= 0 && done < text.size()) {
        const ssize_t n = write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (fd.get() < 0 || done < text.size())
        throw Failure("cannot hold the watermark text: " + std::string(std::strerror(errno)));
    return fd;
}

TempFolder::TempFolder(const std::string& folder, const std::string& base)
    : parent_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    int lock = -1;
    if (parent_.get() >= 0)
        fd_ = Fd(scratch::makeMarkedFolder(parent_.get(), base, name_, lock));
    lock_ = Fd(lock);
    if (fd_.get() < 0)
        throw Failure("cannot write in the folder " + quoted(folder) + ": " + std::strerror(errno));
    path_ = (folder.back() == '/' ? folder : folder + "/") + name_;
}

TempFolder::~TempFolder()
{
    scratch::removeContents(fd_.get());
    // The folder goes only while its name still stands for the folder made here.
    struct stat held = {};
    struct stat named = {};
    if (fstat(fd_.get(), &held) == 0 &&
        fstatat(parent_.get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        unlinkat(parent_.get(), name_.c_str(), AT_REMOVEDIR);
}

std::string sourceForFFmpeg(const std::string& source, std::unique_ptr<TempFolder>& holder)
{
    if (source.find_first_of("%\r\n") == std::string::npos)
        return "file:" + source;
    std::string target = source;
    if (target[0] != '/') {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd))
            throw Failure("cannot find the working folder: " + std::string(std::strerror(errno)));
        target = std::string(cwd) + "/" + target;
    }
    // The extension helps FFmpeg tell the format; keep it when it is plain.
    const std::string name = fileNameOf(source);
    std::string extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot + 1 < name.size() && name.size() - dot <= 9 &&
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                               dot + 1) == std::string::npos)
        extension = name.substr(dot);
    const std::string runtime = scratch::runtimeFolder();
    if (runtime.empty())
        throw Failure("cannot use a private runtime folder for a link to the source: " +
                      std::string(std::strerror(errno)));
    if (runtime.find_first_of("%\r\n") != std::string::npos)
        throw Failure("the runtime folder " + quoted(runtime) +
                      " holds a % or a line break, which FFmpeg would misread");
    holder = std::make_unique<TempFolder>(runtime, "kestrel-source");
    const std::string link = "source" + extension;
    if (symlinkat(target.c_str(), holder->fd().get(), link.c_str()) != 0)
        throw Failure("cannot make a temporary link: " + std::string(std::strerror(errno)));
    return "file:" + holder->path() + "/" + link;
}
