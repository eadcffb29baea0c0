#include "CaptureLoading.h"

#include "Cancellation.h"
#include "ImageHeader.h"
#include "ExitCodes.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <string>

#include <unistd.h>

namespace ZOLT {
namespace StitchTool {

namespace {

[[noreturn]] void ThrowTooLarge(const std::string& name)
{
    throw Cli::ToolError(Cli::ExitCode::InputError, "'" + name + "' is too large for a capture (at most " +
                                                        std::to_string(MAX_CAPTURE_PIXELS) + " pixels)");
}

/// Files may hold 16-bit or floating-point samples; the library stitches 8-bit captures.
cv::Mat ToEightBit(const cv::Mat& image, const std::string& name)
{
    switch (image.depth()) {
    case CV_8U:
        return image;
    case CV_16U: {
        cv::Mat converted;
        image.convertTo(converted, CV_8U, 255.0 / 65535.0);
        return converted;
    }
    case CV_32F: {
        cv::Mat converted;
        image.convertTo(converted, CV_8U, 255.0);
        return converted;
    }
    default:
        throw Cli::ToolError(Cli::ExitCode::InputError, "'" + name + "' has a sample format that cannot be stitched");
    }
}

cv::Mat ToRgba(const cv::Mat& image, const std::string& name)
{
    cv::Mat capture;
    switch (image.channels()) {
    case 1:
        cv::cvtColor(image, capture, cv::COLOR_GRAY2RGBA);
        break;
    case 2: {
        // Grey with alpha.
        cv::Mat planes[2];
        cv::split(image, planes);
        const cv::Mat channels[4] = {planes[0], planes[0], planes[0], planes[1]};
        cv::merge(channels, 4, capture);
        break;
    }
    case 3:
        cv::cvtColor(image, capture, cv::COLOR_BGR2RGBA);
        break;
    case 4:
        cv::cvtColor(image, capture, cv::COLOR_BGRA2RGBA);
        break;
    default:
        throw Cli::ToolError(Cli::ExitCode::InputError, "'" + name + "' has " + std::to_string(image.channels()) +
                                                            " channels; captures have 1 to 4");
    }
    return capture;
}

std::string SizeText(const cv::Size& size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height) + " pixels";
}

/// A stop request wins over a file that failed to load: the read may have been cut short by it.
cv::Mat LoadCaptureUnlessStopped(const std::filesystem::path& file)
{
    if (Cli::CancelRequested()) {
        Cli::StopCancelled();
    }
    try {
        return LoadCapture(file);
    } catch (const Cli::ToolError&) {
        if (Cli::CancelRequested()) {
            Cli::StopCancelled();
        }
        throw;
    }
}

/// Adds the capture to the preview. Returns false when the preview cannot show captures of this
/// size at all; all captures share it, so the preview then stays empty, with one warning.
bool AddToPreview(Stitching::PreviewImage& preview, const cv::Mat& capture, const std::filesystem::path& file,
                  Cli::Console& console)
{
    Stitching::PreviewImage::PreviewErrorCode code = Stitching::PreviewImage::Success;
    try {
        code = preview.AddCapture(capture);
    } catch (const cv::Exception& exception) {
        throw Cli::ToolError(Cli::ExitCode::StitchFailed,
                             "the preview could not take '" + file.string() + "': " + exception.err);
    }
    switch (code) {
    case Stitching::PreviewImage::InvalidCapture:
        // Every capture is 8-bit with four channels by now: it is too flat for one preview row.
        console.Warning("the preview stays empty: captures of " + SizeText(capture.size()) +
                        " are too flat to show at its width");
        return false;
    case Stitching::PreviewImage::ResizeFailed:
        console.Warning("the preview could not grow to take '" + file.string() + "'; that capture is missing from it");
        return true;
    default:
        return true;
    }
}

}  // namespace

cv::Mat LoadCapture(const std::filesystem::path& path)
{
    const std::string name = path.string();
    // Refused before decoding where the header tells the size; after it for other formats.
    const std::optional<ImageDimensions> announced = ReadImageDimensions(name);
    if (announced && (announced->width > MAX_CAPTURE_PIXELS || announced->height > MAX_CAPTURE_PIXELS ||
                      announced->width * announced->height > MAX_CAPTURE_PIXELS)) {
        ThrowTooLarge(name);
    }
    cv::Mat image;
    try {
        image = cv::imread(name, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        image.release();
    }
    if (image.total() > MAX_CAPTURE_PIXELS) {
        ThrowTooLarge(name);
    }
    if (image.empty()) {
        if (::access(name.c_str(), R_OK) != 0) {
            throw Cli::ToolError(Cli::ExitCode::InputError, "cannot open '" + name + "'");
        }
        throw Cli::ToolError(Cli::ExitCode::InputError, "'" + name + "' is not an image that can be read");
    }
    return ToRgba(ToEightBit(image, name), name);
}

void LoadCaptures(const std::vector<std::filesystem::path>& files, Cli::CaptureStore& store,
                  Stitching::PreviewImage* preview, Cli::Console& console)
{
    const std::string stage =
        "Loading " + std::to_string(files.size()) + (files.size() == 1 ? " capture" : " captures");
    cv::Size firstSize;
    for (std::size_t i = 0; i < files.size(); ++i) {
        console.Progress(stage, static_cast<int>(i * 100 / files.size()));
        cv::Mat capture = LoadCaptureUnlessStopped(files[i]);
        if (i == 0) {
            firstSize = capture.size();
        } else if (capture.size() != firstSize) {
            throw Cli::ToolError(Cli::ExitCode::InputError,
                                 "'" + files[i].string() + "' is " + SizeText(capture.size()) +
                                     ", but the first capture ('" + files[0].string() + "') is " + SizeText(firstSize) +
                                     "; all captures must have the same size");
        }
        if (preview != nullptr && !AddToPreview(*preview, capture, files[i], console)) {
            preview = nullptr;
        }
        // The store takes over the pixels; dropping this header lets a bounded store spill them.
        store.Add(capture);
    }
    console.Progress(stage, 100);
}

}  // namespace StitchTool
}  // namespace ZOLT
