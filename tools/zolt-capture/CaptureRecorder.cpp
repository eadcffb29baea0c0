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

void CaptureRecorder::Add(cv::Mat& capture)
{
    ++count_;
    console_.Progress("Capturing", static_cast<int>(count_ * 100 / maxCaptures_));
    if (!saveFolder_.empty()) {
        SaveCapture(capture);
    }
    if (!previewFile_.empty() && previewGrowing_) {
        UpdatePreview(capture);
    }
    store_.Add(capture);
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
    if (preview_.AddCapture(capture) != Stitching::PreviewImage::Success) {
        // The preview could not place this capture; what it shows so far stays right.
        previewGrowing_ = false;
        console_.Warning("the preview stops at capture " + std::to_string(count_) +
                         ": its movement could not be measured at preview size");
        return;
    }
    Cli::PendingFile file(previewFile_, Cli::EncodeImage(previewFile_, preview_.GetPreview()));
    file.Commit();
}

}  // namespace CaptureTool
}  // namespace ZOLT
