// Scratch files that a killed run cannot leave behind: FFmpeg writes into
// unnamed files it inherits, and where a name cannot be avoided the name is
// marked so that the next run in that folder removes it (see scratch.h).
#pragma once

#include <memory>
#include <string>
#include <utility>

// The folder part of PATH ("." when it has none) and its file name.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// An open file descriptor, closed with its owner.
class Fd
{
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd();
    int get() const { return fd_; }
    // The name under which a program we start opens it again: "/dev/fd/N".
    std::string path() const { return "/dev/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// The file an encode writes, in the folder of TARGET: unnamed until publish()
// renames it over TARGET, or, on a filesystem without unnamed files, under a
// marked hidden name that is removed unless published.
class OutputFile
{
public:
    explicit OutputFile(const std::string& target);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    const Fd& fd() const { return fd_; }
    // Syncs the file, gives it TARGET's name and syncs the folder (see
    // scratch::publish); throws Failure when a step fails.
    void publish();

private:
    std::string target_, named_; // named_: the fallback's name, or empty
    Fd fd_;
};

// TEXT in an unnamed file in memory.
Fd memoryFile(const std::string& text);

// A new folder inside FOLDER with a marked hidden name made from BASE, held
// open from its making: whatever is done in it goes through fd(), so a folder
// put in its place meanwhile (a link to another) is never touched. Removed
// with the files in it.
class TempFolder
{
public:
    TempFolder(const std::string& folder, const std::string& base);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::string& path() const { return path_; }
    const Fd& fd() const { return fd_; }
    const Fd& parent() const { return parent_; } // FOLDER

private:
    std::string name_, path_;
    Fd parent_, fd_, lock_;
};

// The name under which FFmpeg is given the source SOURCE. FFmpeg reads a "%"
// in an image file name as a number field, and a line break in the name would
// reach the lines FFmpeg prints, where the window reads the progress; such a
// source is handed over through a link with a plain name in the user's
// runtime folder, made in HOLDER.
std::string sourceForFFmpeg(const std::string& source, std::unique_ptr<TempFolder>& holder);
