#include "TempFiles.h"

#include "Failure.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
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

namespace
{

// $TMPDIR when set and not empty, else /tmp.
std::string temporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

TempFile TempFile::beside(const std::string& target)
{
    // Names are limited to 255 bytes; keep room for the dot and the suffix.
    std::string name = fileNameOf(target).substr(0, 200);
    std::string path = folderOf(target) + "/." + name + ".kestrel-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        throw Failure("cannot write in the folder of " + quoted(target) + ": " +
                      std::strerror(errno));
    // mkstemp makes the file private; give it the mode a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return TempFile(path);
}

TempFile TempFile::holding(const std::string& text)
{
    std::string path = temporaryFolder() + "/kestrel-text-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        throw Failure("cannot make a temporary file: " + std::string(std::strerror(errno)));
    TempFile file(path);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            throw Failure("cannot write a temporary file: " + std::string(std::strerror(errno)));
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return file;
}

TempFile::~TempFile()
{
    if (!path_.empty())
        unlink(path_.c_str());
}

void TempFile::replace(const std::string& target)
{
    if (std::rename(path_.c_str(), target.c_str()) != 0)
        throw Failure("cannot write " + quoted(target) + ": " + std::strerror(errno));
    path_.clear();
}

TempFolder::TempFolder(const std::string& folder, const std::string& prefix)
{
    path_ = folder + "/" + prefix + "XXXXXX";
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
    std::string tmp = temporaryFolder();
    if (tmp.find('%') != std::string::npos)
        tmp = "/tmp";
    holder = std::make_unique<TempFolder>(tmp, "kestrel-source-");
    const std::string link = holder->path() + "/source" + extension;
    if (symlink(target.c_str(), link.c_str()) != 0)
        throw Failure("cannot make a temporary link: " + std::string(std::strerror(errno)));
    return "file:" + link;
}
