// Utilities, blending: BlendImages. The other parts are in CaptureCropping.cpp and
// SimilarityAndNames.cpp.
//
// Laying a capture over a region of a larger image by its alpha channel.

#include <ZOLT/Utilities.h>

#include "core/Diagnostics.h"

#include <cstdint>

namespace ZOLT {
namespace Stitching {

namespace {

/// Length of a range in 64 bits, so that extreme ends cannot overflow.
std::int64_t Length(const cv::Range& range)
{
    return static_cast<std::int64_t>(range.end) - range.start;
}

/// Non-zero wherever the source's alpha is; an 8-bit alpha channel is that mask already.
cv::Mat AlphaMask(const cv::Mat& source)
{
    cv::Mat alpha;
    cv::extractChannel(source, alpha, 3);
    return alpha.depth() == CV_8U ? alpha : cv::Mat(alpha != 0);
}

}  // namespace

void Utilities::BlendImages(const cv::Mat& source, cv::Mat& target, const cv::Range& rows, const cv::Range& cols)
{
    if (Length(rows) != source.rows || Length(cols) != source.cols) {
        Diagnostics::ErrorLine("The Ranges provided must be the same width and heigh as the source image");
        return;
    }
    if (rows.start < 0 || cols.start < 0 || rows.end > target.rows || cols.end > target.cols) {
        Diagnostics::ErrorLine("The Ranges provided must be within the bounds of the target image");
        return;
    }
    if (source.empty()) {
        return;
    }
    if (source.type() != target.type()) {
        // Copying would silently reallocate the view instead of writing into the target.
        Diagnostics::ErrorLine("The source image must be of the same type as the target image");
        return;
    }

    cv::Mat region = target(rows, cols);
    if (source.channels() < 4) {
        // Without an alpha channel every pixel counts as opaque.
        source.copyTo(region);
    } else {
        source.copyTo(region, AlphaMask(source));
    }
}

}  // namespace Stitching
}  // namespace ZOLT
