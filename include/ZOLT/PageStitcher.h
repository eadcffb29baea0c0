#pragma once

// The page stitcher: stitches what scrolls and shows what does not scroll once.

#include <ZOLT/Core.h>

#include <vector>

namespace ZOLT {
namespace Stitching {

/// Stitches captures of a scrolling page so that the result looks like the page itself.
///
/// Each pair is measured on the pixels that moved between the two captures only, so window
/// chrome, toolbars, sticky and fixed elements and the scrollbar never pull the measurement
/// towards (0, 0). The result is then composed pixel by pixel from the captures that showed the
/// page there: the unmoving frame around the scrolling area appears once, in its place; elements
/// that stay put inside it appear once, where the page itself puts them (the first capture's
/// upper ones, the last capture's lower ones); page parts that no capture showed are filled from
/// their neighbours across the scroll axis. The scrollbar keeps the first capture's thumb, once.
/// Every pixel of the result is opaque.
///
/// Captures must be 8-bit with three or four channels and share capture 0's size. Only
/// `direction` and `maxThreads` of the parameters apply. The stitcher holds no capture between
/// calls and at most a few at a time during one, so a memory-bounded provider stays bounded.
class ZOLT_STITCHING_API PageStitcher : public IStitcher {
public:
    explicit PageStitcher(const StitcherParameters& parameters);
    ~PageStitcher() override;

    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                int progressEnd, bool reportCompletion) override;
    std::vector<Translation> GetTranslations() const override;

private:
    StitcherParameters parameters_;
    std::vector<Translation> translations_;
};

}  // namespace Stitching
}  // namespace ZOLT
