#pragma once

// Ready-made stitcher configurations.

#include <ZOLT/Core.h>

namespace ZOLT {
namespace Stitching {

/// Assembles the supported stitcher configurations; each product owns a detector of its own.
class ZOLT_STITCHING_API StitcherFactory {
public:
    StitcherFactory& operator=(const StitcherFactory&) { return *this; }
    StitcherFactory& operator=(StitcherFactory&&) noexcept { return *this; }

    /// A BasicStitcher with a PhaseCorrelationTranslationDetector.
    static std::shared_ptr<IStitcher> CreateBasicStitcher(const StitcherParameters& parameters);
    /// A SmartStitcher with a PhaseCorrelationTranslationDetector.
    static std::shared_ptr<IStitcher> CreateSmartStitcher(const StitcherParameters& parameters,
                                                          unsigned int scaleFactor);
    /// A BasicBorderDetection wrapping a basic stitcher.
    static std::shared_ptr<IStitcher> CreateStitcherWithBasicBorderDetection(const StitcherParameters& parameters,
                                                                             unsigned int changeThreshold,
                                                                             unsigned int neighborThreshold);
    /// A PageStitcher: fixed and sticky elements once, the frame once, no transparent pixels.
    static std::shared_ptr<IStitcher> CreatePageStitcher(const StitcherParameters& parameters);
};

}  // namespace Stitching
}  // namespace ZOLT
