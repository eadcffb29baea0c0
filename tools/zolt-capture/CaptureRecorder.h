#pragma once

// Where each capture goes as it arrives: the capture store, the live preview and its file, the
// numbered PNGs of --save-captures, and the progress line.

#include "CaptureStore.h"
#include "Console.h"

#include <ZOLT/Preview.h>

#include <cstddef>
#include <string>

namespace ZOLT {
namespace CaptureTool {

class CaptureRecorder {
public:
    /// `previewFile` and `saveFolder` may be empty for none; `maxCaptures` scales the progress.
    CaptureRecorder(Cli::CaptureStore& store, const std::string& previewFile, const std::string& saveFolder,
                    Cli::Console& console, std::size_t maxCaptures);

    /// Records one capture, keeping a shared copy of its pixels. Throws ToolError (output error)
    /// when a file cannot be written.
    void Add(const cv::Mat& capture);

    std::size_t Count() const { return count_; }

private:
    void SaveCapture(const cv::Mat& capture) const;
    void UpdatePreview(const cv::Mat& capture);

    Cli::CaptureStore& store_;
    const std::string previewFile_;
    const std::string saveFolder_;
    Cli::Console& console_;
    const std::size_t maxCaptures_;
    Stitching::PreviewImage preview_;
    /// Cleared when the captures are too flat for the preview: it stays empty from then on.
    bool previewGrowing_ = true;
    std::size_t count_ = 0;
};

}  // namespace CaptureTool
}  // namespace ZOLT
