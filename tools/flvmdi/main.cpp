// flvmdi: writes a complete onMetaData tag into an FLV file, in place.
#include "byte_source.h"
#include "errors.h"
#include "file_replace.h"
#include "flv_scan.h"
#include "metadata.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace flvmdi;

namespace
{

const char* const kUsage =
    "Usage: flvmdi FILE.flv\n"
    "       flvmdi --print FILE.flv\n"
    "Writes an onMetaData tag computed from the file's tags (duration, sizes,\n"
    "data rates, codecs, picture size, key frame index ...) into FILE.flv, in\n"
    "place, replacing any earlier one. The file is replaced only when the new\n"
    "one is complete and synced; on any failure it stays as it was.\n"
    "\n"
    "  --print    do not change the file; print the metadata it would get, as JSON\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  usage error, or the file cannot be read, written or replaced\n"
    "  2  the file is not a valid FLV file (not FLV, truncated or corrupt)\n";

const std::string kCreator = "Kestrel flvmdi " FLVMDI_VERSION;

int fail(const std::string& path, const std::string& why, int code)
{
    std::fprintf(stderr, "flvmdi: %s: %s\n", path.c_str(), why.c_str());
    return code;
}

int usageError(const std::string& why)
{
    std::fprintf(stderr, "flvmdi: %s\nTry 'flvmdi --help' for more information.\n", why.c_str());
    return ExitIo;
}

class Fd
{
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int run(const std::string& path, bool printOnly)
{
    // A symbolic link stays a link: the file it points to is replaced.
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real))
        return fail(path, errnoText(errno), ExitIo);
    Fd fd(open(real, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(path, "cannot open: " + errnoText(errno), ExitIo);
    struct stat st {
    };
    if (fstat(fd.get(), &st) != 0)
        return fail(path, "cannot read: " + errnoText(errno), ExitIo);
    if (S_ISDIR(st.st_mode))
        return fail(path, "is a folder, not an FLV file", ExitIo);
    if (!S_ISREG(st.st_mode))
        return fail(path, "is not a regular file", ExitIo);
    const std::string target = real;
    if (!printOnly) {
        if (access(real, W_OK) != 0)
            return fail(path, "cannot write the file: " + errnoText(errno), ExitIo);
        if (access(folderOf(target).c_str(), W_OK | X_OK) != 0)
            return fail(path, "cannot write in its folder: " + errnoText(errno), ExitIo);
    }
    try {
        FileSource src(fd.get(), static_cast<uint64_t>(st.st_size));
        ScanResult scan = scanFlv(src);
        const double nowMs =
            static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count());
        OutputPlan plan = planOutput(scan, nowMs, kCreator);
        if (printOnly) {
            std::string json = toJson(plan.metadata);
            if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() ||
                std::fflush(stdout) != 0)
                return fail("standard output", errnoText(errno), ExitIo);
            return ExitOk;
        }
        replaceFile(fd.get(), target, st, scan, plan);
    } catch (const InvalidFlv& e) {
        return fail(path, e.what(), ExitInvalid);
    } catch (const IoError& e) {
        return fail(path, e.what(), ExitIo);
    } catch (const std::bad_alloc&) {
        return fail(path, "out of memory", ExitIo);
    }
    return ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    installSignalCleanup();
    bool printOnly = false, endOfOptions = false;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!endOfOptions && arg == "--help") {
            std::fputs(kUsage, stdout);
            return ExitOk;
        }
        if (!endOfOptions && arg == "--version") {
            std::printf("flvmdi %s\n", FLVMDI_VERSION);
            return ExitOk;
        }
        if (!endOfOptions && arg == "--print")
            printOnly = true;
        else if (!endOfOptions && arg == "--")
            endOfOptions = true;
        else if (!endOfOptions && arg.size() > 1 && arg[0] == '-')
            return usageError("unknown option '" + arg + "'");
        else if (!file.empty())
            return usageError("one file at a time");
        else
            file = arg;
    }
    if (file.empty())
        return usageError("no file given");
    return run(file, printOnly);
}
