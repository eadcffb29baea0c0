#pragma once

// Where each capture goes as it arrives: the capture store, the live preview and its file, and
// the numbered PNGs of --save-captures.

#include "CaptureStore.h"
#include "Console.h"

#include <ZOLT/Preview.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ZOLT {
namespace CaptureTool {

class CaptureRecorder {
public:
    /// `previewFile` and `saveFolder` may be empty for none.
    CaptureRecorder(Cli::CaptureStore& store, const std::string& previewFile, const std::string& saveFolder,
                    Cli::Console& console);

    /// Records one capture, keeping a shared copy of its pixels. Throws ToolError (output error)
    /// when a file cannot be written.
    void Add(const cv::Mat& capture);

    /// The captures were taken out of page order: `order` lists them in page order (indices in
    /// the order of Add). Renumbers the saved captures and redraws the preview to match.
    /// Throws ToolError (output error).
    void PutInPageOrder(const std::vector<std::size_t>& order);

    Cli::CaptureStore& Store() { return store_; }
    std::size_t Count() const { return count_; }

private:
    std::string SavedPath(std::size_t number) const;
    void SaveCapture(const cv::Mat& capture) const;
    void UpdatePreview(Stitching::PreviewImage& preview, const cv::Mat& capture, std::size_t number);
    void WritePreview(Stitching::PreviewImage& preview) const;

    Cli::CaptureStore& store_;
    const std::string previewFile_;
    const std::string saveFolder_;
    Cli::Console& console_;
    Stitching::PreviewImage preview_;
    /// Cleared when the captures are too flat for the preview: it stays empty from then on.
    bool previewGrowing_ = true;
    std::size_t count_ = 0;
};

}  // namespace CaptureTool
}  // namespace ZOLT
