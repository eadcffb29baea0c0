#include "CaptureRecorder.h"

#include "ExitCodes.h"
#include "OutputFiles.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

void Rename(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        throw ToolError(ExitCode::OutputError,
                        "cannot rename the capture '" + from + "' to '" + to + "': " + std::strerror(errno));
    }
}

}  // namespace

CaptureRecorder::CaptureRecorder(Cli::CaptureStore& store, const std::string& previewFile,
                                 const std::string& saveFolder, Cli::Console& console)
    : store_(store), previewFile_(previewFile), saveFolder_(saveFolder), console_(console)
{
}

void CaptureRecorder::Add(const cv::Mat& capture)
{
    ++count_;
    if (!saveFolder_.empty()) {
        SaveCapture(capture);
    }
    if (!previewFile_.empty() && previewGrowing_) {
        UpdatePreview(preview_, capture, count_);
        WritePreview(preview_);
    }
    cv::Mat shared = capture;
    store_.Add(shared);
}

std::string CaptureRecorder::SavedPath(std::size_t number) const
{
    return saveFolder_ + "/" + CaptureFileName(number);
}

void CaptureRecorder::SaveCapture(const cv::Mat& capture) const
{
    const std::string path = SavedPath(count_);
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

void CaptureRecorder::UpdatePreview(Stitching::PreviewImage& preview, const cv::Mat& capture, std::size_t number)
{
    Stitching::PreviewImage::PreviewErrorCode code = Stitching::PreviewImage::Success;
    try {
        code = preview.AddCapture(capture);
    } catch (const cv::Exception& exception) {
        throw ToolError(ExitCode::StitchFailed,
                        "the preview could not take capture " + std::to_string(number) + ": " + exception.err);
    }
    if (code == Stitching::PreviewImage::InvalidCapture) {
        // Every capture is 8-bit with four channels: it is too flat for one preview row.
        previewGrowing_ = false;
        console_.Warning("the preview stays empty: the captures are too flat to show at its width");
    } else if (code == Stitching::PreviewImage::ResizeFailed) {
        console_.Warning("the preview could not grow to take capture " + std::to_string(number) +
                         "; that capture is missing from it");
    }
}

void CaptureRecorder::WritePreview(Stitching::PreviewImage& preview) const
{
    if (previewGrowing_) {
        Cli::PendingFile file(previewFile_, Cli::EncodeImage(previewFile_, preview.GetPreview()));
        file.Commit();
    }
}

void CaptureRecorder::PutInPageOrder(const std::vector<std::size_t>& order)
{
    if (!saveFolder_.empty()) {
        // Two rounds, so that no name is taken while its capture still needs it.
        for (std::size_t index = 0; index < order.size(); ++index) {
            Rename(SavedPath(index + 1), SavedPath(index + 1) + ".reordered");
        }
        for (std::size_t place = 0; place < order.size(); ++place) {
            Rename(SavedPath(order[place] + 1) + ".reordered", SavedPath(place + 1));
        }
    }
    if (!previewFile_.empty() && previewGrowing_) {
        Stitching::PreviewImage preview;
        for (std::size_t place = 0; place < order.size() && previewGrowing_; ++place) {
            UpdatePreview(preview, *store_.Provider().GetImageAt(order[place]), place + 1);
        }
        WritePreview(preview);
    }
}

}  // namespace CaptureTool
}  // namespace ZOLT
