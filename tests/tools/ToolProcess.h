#pragma once

// Running zolt-stitch as a child process, and writing captures for it.

#include "TempFolder.h"

#include <opencv2/core.hpp>

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
    TempFolder streams_;
};

/// Runs the tool with `arguments` to its end.
inline ToolRun RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {})
{
    return ToolProcess(arguments, environment).Finish();
}

/// Writes four-channel captures (red, green, blue, alpha) as PNG files named by `names`.
void WriteCaptures(const std::vector<cv::Mat>& captures, const TempFolder& folder, const std::vector<std::string>& names);

/// Reads an image as the tool's captures are read: red, green, blue, alpha.
cv::Mat ReadCapture(const std::string& path);

}  // namespace Testing
}  // namespace ZOLT
