#pragma once

// The page stitcher: stitches what scrolls and shows what does not scroll once.

#include <ZOLT/Core.h>

#include <memory>
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

    /// How far the page moved from `previous` to `current` (same size, 8-bit with three or four
    /// channels, red, green, blue order), measured as Stitch measures each pair, along the axes
    /// that `direction` allows (0 rows, 1 columns, 2 both). (0, 0) when (almost) nothing but
    /// static parts changed. Throws std::invalid_argument for captures it cannot measure.
    static Translation MeasurePair(const cv::Mat& previous, const cv::Mat& current, int direction);

private:
    StitcherParameters parameters_;
    std::vector<Translation> translations_;
};

/// A page stitch that takes its captures as they arrive, for live capture: each Update measures
/// the captures added to the provider since the last call, so that Finish has only the page to
/// compose. A whole PageStitcher::Stitch is one Update and one Finish.
///
/// The host adds the captures to `captures` (oldest first) and keeps it alive and unchanged
/// beyond adding, for the session's lifetime. One call at a time; the session may be used from
/// any one thread at a time.
class ZOLT_STITCHING_API PageStitchSession {
public:
    PageStitchSession(const StitcherParameters& parameters, IImageProvider& captures);
    ~PageStitchSession();
    PageStitchSession(const PageStitchSession&) = delete;
    PageStitchSession& operator=(const PageStitchSession&) = delete;

    /// Measures every capture added since the last call against the one before it, on up to
    /// `maxThreads` workers, reporting progress within [progressStart, progressEnd] and a
    /// WeakCorrelation warning for each pair matched only weakly. False when the listener asked
    /// to stop (OnError Cancelled) or a capture cannot be used (an error line names why); the
    /// session is then spent and every later call fails.
    bool Update(IStitcherListener* listener, int progressStart, int progressEnd);

    /// The translations measured so far: element i is capture i + 1 against capture i.
    std::vector<Translation> GetTranslations() const;

    /// Composes every capture of the provider into `result`, measuring what Update has not yet
    /// taken in first. Reports progress within [progressStart, progressEnd] and, when
    /// `reportCompletion`, OnComplete last. False (and `result` untouched) on the failures of
    /// Update, and when there is no capture (OnError NoImages).
    bool Finish(cv::Mat& result, IStitcherListener* listener, int progressStart, int progressEnd,
                bool reportCompletion);

private:
    class State;
    std::unique_ptr<State> state_;
};

}  // namespace Stitching
}  // namespace ZOLT
