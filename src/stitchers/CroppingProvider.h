#pragma once

// The smart stitcher's crops: the captures of another provider restricted to one rectangle,
// cut when they are read.

#include <ZOLT/Core.h>

#include <map>
#include <memory>

namespace ZOLT {
namespace Stitching {

/// Hands out views of the other provider's captures restricted to `region`. A view shares its
/// capture's pixels, so a capture is held only while a caller holds its crop: a memory-bounded
/// provider underneath goes on spilling while the inner stitcher works. The other provider must
/// outlive this one.
class CroppingProvider final : public IImageProvider {
public:
    CroppingProvider(IImageProvider& captures, const cv::Rect& region);

    std::size_t Count() override;
    bool IsEmpty() override;
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override;
    /// Replaces the crop at `index` only; the capture underneath stays as it is.
    void SetImageAt(std::size_t index, cv::Mat& image) override;

private:
    IImageProvider& captures_;
    const cv::Rect region_;
    std::map<std::size_t, std::shared_ptr<cv::Mat>> replaced_;
};

}  // namespace Stitching
}  // namespace ZOLT
