#pragma once

// Turning the INPUT arguments into the ordered list of capture files.

#include <filesystem>
#include <string>
#include <vector>

namespace ZOLT {
namespace StitchTool {

/// Natural name order: runs of digits compare by their value (2 before 10), letters without
/// regard to case; names that still tie are ordered by their bytes, so the order is total.
bool NaturalLess(const std::string& left, const std::string& right);

/// Whether the file name carries the extension of an image format OpenCV reads (any case).
bool HasImageExtension(const std::filesystem::path& path);

/// Files in argument order; a folder contributes its image files (not its subfolders, not
/// hidden files) in natural name order. Throws Cli::ToolError (input error) for a path that does
/// not exist and for a folder without images.
std::vector<std::filesystem::path> ListCaptureFiles(const std::vector<std::string>& inputs);

}  // namespace StitchTool
}  // namespace ZOLT
