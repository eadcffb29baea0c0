#pragma once

// Reading capture files into the library's capture format and into a capture store.

#include "CaptureStore.h"
#include "Console.h"

#include <ZOLT/Preview.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

/// The largest capture the tool loads: 8192 x 8192 pixels, four times an 8K screen. A PNG,
/// JPEG, BMP, TIFF, WebP or netpbm file that claims more is refused before its pixels are
/// decoded, so a few bytes of header cannot make the decoder reserve gigabytes; other formats
/// are refused once decoded.
constexpr std::size_t MAX_CAPTURE_PIXELS = std::size_t(1) << 26;

/// Reads an image file as a capture: 8-bit, four channels in red, green, blue, alpha order.
/// Grey and colour images get alpha 255; 16-bit and floating-point images are scaled to 8 bits.
/// Throws Cli::ToolError (input error) when the file cannot be read as an image or holds more than
/// MAX_CAPTURE_PIXELS pixels.
cv::Mat LoadCapture(const std::filesystem::path& path);

/// Reads every file into `store`, and into `preview` when one is given, as a host would while
/// the captures arrive. Every capture must have the first one's size; captures the preview
/// cannot show leave it empty, with a warning. Throws Cli::ToolError: input error for a file that
/// cannot be used, cancelled when a stop was requested.
void LoadCaptures(const std::vector<std::filesystem::path>& files, Cli::CaptureStore& store,
                  Stitching::PreviewImage* preview, Cli::Console& console);

}  // namespace StitchTool
}  // namespace ZOLT
