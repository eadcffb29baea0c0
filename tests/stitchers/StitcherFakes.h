#pragma once

// A detector stand-in, so that a stitcher can be tested on translations the test chooses.

#include <ZOLT/Core.h>

#include <optional>
#include <utility>
#include <vector>

namespace ZOLT {
namespace Testing {

/// Answers a detection over a provider with its fixed list (or with `step` for every pair when
/// that is set) after one progress report at the end of its range; fails with Cancelled when that
/// report is answered false, and silently when `failing` is set. It records every call.
class FakeDetector : public Stitching::ITranslationDetector {
public:
    explicit FakeDetector(std::vector<Stitching::Translation> list = {}) : translations(std::move(list)) {}

    std::vector<Stitching::Translation> DetectTranslation(IImageProvider& provider, Stitching::IStitcherListener* listener,
                                                          int progressStart, int progressEnd) override
    {
        counts.push_back(provider.Count());
        ranges.emplace_back(progressStart, progressEnd);
        if (failing) {
            return {};
        }
        if (listener != nullptr && !listener->OnProgress(progressEnd)) {
            listener->OnError(Stitching::IStitcherListener::Cancelled, false);
            return {};
        }
        return step ? std::vector<Stitching::Translation>(provider.Count() - 1, *step) : translations;
    }

    Stitching::Translation DetectTranslation(const cv::Mat&, const cv::Mat&, Stitching::IStitcherListener*) override
    {
        return Stitching::Translation();
    }

    std::vector<Stitching::Translation> translations;
    std::optional<Stitching::Translation> step;
    bool failing = false;
    std::vector<std::size_t> counts;
    std::vector<std::pair<int, int>> ranges;
};

}  // namespace Testing
}  // namespace ZOLT
