#pragma once

// The size an image file announces, read from its header without decoding it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

struct ImageDimensions {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

/// Width and height from the header of a PNG, JPEG, BMP, TIFF, WebP or netpbm file; nothing
/// for other formats and for headers that cannot be read. A decoder sizes its image from these
/// very fields before it reads a pixel, so a file can be refused before it costs any memory.
std::optional<ImageDimensions> ReadImageDimensions(const std::string& path);

}  // namespace StitchTool
}  // namespace ZOLT
