// Scratch files that remove themselves: the encode goes to a hidden file
// beside the output and replaces the output only when it succeeded.
#pragma once

#include <memory>
#include <string>

// The folder part of PATH ("." when it has none) and its file name.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

class TempFile
{
public:
    // A new, empty, hidden file in the folder of TARGET, named after it.
    static TempFile beside(const std::string& target);
    // A new file in the temporary folder holding TEXT.
    static TempFile holding(const std::string& text);

    TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    const std::string& path() const { return path_; }
    // Renames the file over TARGET; it is then no longer removed.
    void replace(const std::string& target);

private:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// A new folder inside FOLDER, named PREFIX and a random suffix; removed with
// the files in it.
class TempFolder
{
public:
    TempFolder(const std::string& folder, const std::string& prefix);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The name under which FFmpeg is given the source SOURCE. FFmpeg reads a "%"
// in an image file name as a number field, so such a source is handed over
// through a link with a plain name in a scratch folder, made in HOLDER.
std::string sourceForFFmpeg(const std::string& source, std::unique_ptr<TempFolder>& holder);
