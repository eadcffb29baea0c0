#include "CaptureRecorder.h"

#include "ExitCodes.h"
#include "OutputFiles.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>

namespace ZOLT {
namespace CaptureTool {

using Cli::ExitCode;
using Cli::ToolError;

namespace {

/// "0001.png", "0002.png", ...: names that sort in capture order, as zolt-stitch reads a folder.
std::string CaptureFileName(std::size_t number)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%04zu.png", number);
    return name;
}

}  // namespace

CaptureRecorder::CaptureRecorder(Cli::CaptureStore& store, const std::string& previewFile,
                                 const std::string& saveFolder, Cli::Console& console, std::size_t maxCaptures)
    : store_(store), previewFile_(previewFile), saveFolder_(saveFolder), console_(console), maxCaptures_(maxCaptures)
{
}

void CaptureRecorder::Add(const cv::Mat& capture)
{
    ++count_;
    console_.Progress("Capturing", static_cast<int>(count_ * 100 / maxCaptures_));
    if (!saveFolder_.empty()) {
        SaveCapture(capture);
    }
    if (!previewFile_.empty() && previewGrowing_) {
        UpdatePreview(capture);
    }
    cv::Mat shared = capture;
    store_.Add(shared);
}

void CaptureRecorder::SaveCapture(const cv::Mat& capture) const
{
    const std::string path = saveFolder_ + "/" + CaptureFileName(count_);
    bool written = false;
    try {
        written = cv::imwrite(path, Cli::ToFileChannelOrder(capture));
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written) {
        throw ToolError(ExitCode::OutputError, "cannot write the capture '" + path + "'");
    }
}

void CaptureRecorder::UpdatePreview(const cv::Mat& capture)
{
    Stitching::PreviewImage::PreviewErrorCode code = Stitching::PreviewImage::Success;
    try {
        code = preview_.AddCapture(capture);
    } catch (const cv::Exception& exception) {
        throw ToolError(ExitCode::StitchFailed,
                        "the preview could not take capture " + std::to_string(count_) + ": " + exception.err);
    }
    if (code == Stitching::PreviewImage::InvalidCapture) {
        // Every capture is 8-bit with four channels: it is too flat for one preview row.
        previewGrowing_ = false;
        console_.Warning("the preview stays empty: the captures are too flat to show at its width");
        return;
    }
    if (code == Stitching::PreviewImage::ResizeFailed) {
        console_.Warning("the preview could not grow to take capture " + std::to_string(count_) +
                         "; that capture is missing from it");
    }
    Cli::PendingFile file(previewFile_, Cli::EncodeImage(previewFile_, preview_.GetPreview()));
    file.Commit();
}

}  // namespace CaptureTool
}  // namespace ZOLT
