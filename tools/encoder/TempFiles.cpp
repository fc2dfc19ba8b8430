#include "TempFiles.h"

#include "Failure.h"

#include "scratch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
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
        std::string name = scratch::namedTemplate(folder, fileNameOf(target));
        fd_ = Fd(mkostemp(name.data(), O_CLOEXEC));
        if (fd_.get() >= 0) {
            named_ = name;
            // mkstemp makes the file private; give it the mode a new file gets.
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
    const int error = named_.empty() ? scratch::publish(fd_.get(), target_)
                      : std::rename(named_.c_str(), target_.c_str()) == 0 ? 0
                                                                          : errno;
    if (error != 0)
        throw Failure("cannot write " + quoted(target_) + ": " + std::strerror(error));
    named_.clear();
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
    : path_(scratch::namedTemplate(folder, base))
{
    if (!mkdtemp(path_.data()))
        throw Failure("cannot write in the folder " + quoted(folder) + ": " + std::strerror(errno));
}

TempFolder::~TempFolder()
{
    if (DIR* dir = opendir(path_.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                unlink((path_ + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(path_.c_str());
}

std::string sourceForFFmpeg(const std::string& source, std::unique_ptr<TempFolder>& holder)
{
    if (source.find('%') == std::string::npos)
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
    if (runtime.find('%') != std::string::npos)
        throw Failure("the runtime folder " + quoted(runtime) +
                      " holds a %, which FFmpeg would misread");
    holder = std::make_unique<TempFolder>(runtime, "kestrel-source");
    const std::string link = holder->path() + "/source" + extension;
    if (symlink(target.c_str(), link.c_str()) != 0)
        throw Failure("cannot make a temporary link: " + std::string(std::strerror(errno)));
    return "file:" + link;
}
