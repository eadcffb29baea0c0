#pragma once

// Reaches the preview's rectangle and last capture, which the public interface does not show but
// whose values fix where every capture lands on the canvas.

#include <ZOLT/Preview.h>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<PreviewImage> {
    static cv::Rect Rectangle(const PreviewImage& preview) { return *preview.rectangle_; }

    /// The last accepted scaled capture; empty before the first one.
    static cv::Mat LastCapture(const PreviewImage& preview)
    {
        return preview.lastCapture_ ? *preview.lastCapture_ : cv::Mat();
    }
};

}  // namespace Stitching
}  // namespace ZOLT
