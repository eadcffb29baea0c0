#pragma once

// Running zolt-stitch as a child process, and scratch folders for its files.

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace ZOLT {
namespace Testing {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// A process started with the tool; Finish waits for it and collects what it printed.
class ToolProcess {
public:
    /// `environment` entries ("NAME=value") are added to the test's own environment.
    explicit ToolProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    ~ToolProcess();

    void Signal(int signal) const;
    ToolRun Finish();

private:
    int pid_ = -1;
    std::filesystem::path outFile_;
    std::filesystem::path errFile_;
};

/// Runs the tool with `arguments` to its end.
ToolRun RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});

/// A fresh folder under the system's temporary folder, removed with its contents at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    std::filesystem::path Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    /// Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const;

private:
    std::filesystem::path path_;
};

/// Writes four-channel captures (red, green, blue, alpha) as PNG files named by `names`.
void WriteCaptures(const std::vector<cv::Mat>& captures, const ScratchFolder& folder,
                   const std::vector<std::string>& names);

/// Reads an image as the tool's captures are read: red, green, blue, alpha.
cv::Mat ReadCapture(const std::string& path);

/// True when both images have the same size, type and pixels.
bool SameImage(const cv::Mat& left, const cv::Mat& right);

}  // namespace Testing
}  // namespace ZOLT
