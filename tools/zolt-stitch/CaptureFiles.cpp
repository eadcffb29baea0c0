#include "CaptureFiles.h"

#include "ExitCodes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

namespace ZOLT {
namespace StitchTool {

namespace {

namespace fs = std::filesystem;

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

char Folded(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

/// Compares the digit runs starting at i and j by value and moves past them; 0 when equal.
int CompareNumberRuns(const std::string& left, std::size_t& i, const std::string& right, std::size_t& j)
{
    const auto skipZeros = [](const std::string& text, std::size_t& at) {
        while (at + 1 < text.size() && text[at] == '0' && IsDigit(text[at + 1])) {
            ++at;
        }
    };
    const auto runEnd = [](const std::string& text, std::size_t at) {
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
        }
        return at;
    };
    skipZeros(left, i);
    skipZeros(right, j);
    const std::size_t leftEnd = runEnd(left, i);
    const std::size_t rightEnd = runEnd(right, j);
    // Without leading zeros the longer run is the larger number, so no run can overflow.
    const std::size_t leftLength = leftEnd - i;
    const std::size_t rightLength = rightEnd - j;
    int order = leftLength < rightLength ? -1 : (leftLength > rightLength ? 1 : 0);
    if (order == 0) {
        order = left.compare(i, leftLength, right, j, rightLength);
    }
    i = leftEnd;
    j = rightEnd;
    return order;
}

bool IsHidden(const fs::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

std::vector<fs::path> ImagesInFolder(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) {
        throw Cli::ToolError(Cli::ExitCode::InputError,
                             "cannot read folder '" + folder.string() + "': " + error.message());
    }
    std::vector<fs::path> images;
    for (const fs::directory_entry& entry : entries) {
        std::error_code kindError;
        if (entry.is_regular_file(kindError) && !IsHidden(entry.path()) && HasImageExtension(entry.path())) {
            images.push_back(entry.path());
        }
    }
    if (images.empty()) {
        throw Cli::ToolError(Cli::ExitCode::InputError, "folder '" + folder.string() + "' holds no image files");
    }
    std::sort(images.begin(), images.end(), [](const fs::path& left, const fs::path& right) {
        return NaturalLess(left.filename().string(), right.filename().string());
    });
    return images;
}

}  // namespace

bool NaturalLess(const std::string& left, const std::string& right)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < left.size() && j < right.size()) {
        if (IsDigit(left[i]) && IsDigit(right[j])) {
            const int order = CompareNumberRuns(left, i, right, j);
            if (order != 0) {
                return order < 0;
            }
            continue;
        }
        const char a = Folded(left[i]);
        const char b = Folded(right[j]);
        if (a != b) {
            return a < b;
        }
        ++i;
        ++j;
    }
    const bool leftRemains = i < left.size();
    const bool rightRemains = j < right.size();
    if (leftRemains != rightRemains) {
        return rightRemains;
    }
    return left < right;
}

bool HasImageExtension(const fs::path& path)
{
    static const std::array<const char*, 21> extensions = {
        ".png", ".jpg", ".jpeg", ".jpe", ".jp2", ".bmp", ".dib", ".webp", ".tif", ".tiff", ".pbm",
        ".pgm", ".ppm", ".pnm",  ".pxm", ".pfm", ".sr",  ".ras", ".exr",  ".hdr", ".pic",
    };
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), Folded);
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

std::vector<fs::path> ListCaptureFiles(const std::vector<std::string>& inputs)
{
    std::vector<fs::path> files;
    for (const std::string& input : inputs) {
        const fs::path path(input);
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (!fs::exists(status)) {
            throw Cli::ToolError(Cli::ExitCode::InputError, "input '" + input + "' does not exist");
        }
        if (fs::is_directory(status)) {
            const std::vector<fs::path> images = ImagesInFolder(path);
            files.insert(files.end(), images.begin(), images.end());
        } else {
            files.push_back(path);
        }
    }
    return files;
}

}  // namespace StitchTool
}  // namespace ZOLT
