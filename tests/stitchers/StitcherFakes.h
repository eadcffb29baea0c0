#pragma once

// Stand-ins around a stitcher: a detector that hands out a fixed list, and a provider that
// records which captures were read.

#include <ZOLT/Core.h>
#include <ZOLT/Providers.h>

#include <utility>
#include <vector>

namespace ZOLT {
namespace Testing {

/// Returns its fixed list from every detection over a provider, after one progress report at
/// the end of its range, and fails with Cancelled when that report is answered false.
class FixedTranslationDetector : public Stitching::ITranslationDetector {
public:
    explicit FixedTranslationDetector(std::vector<Stitching::Translation> list) : translations(std::move(list)) {}

    std::vector<Stitching::Translation> DetectTranslation(IImageProvider&, Stitching::IStitcherListener* listener,
                                                          int progressStart, int progressEnd) override
    {
        ranges.emplace_back(progressStart, progressEnd);
        if (listener != nullptr && !listener->OnProgress(progressEnd)) {
            listener->OnError(Stitching::IStitcherListener::Cancelled, false);
            return {};
        }
        return translations;
    }

    Stitching::Translation DetectTranslation(const cv::Mat&, const cv::Mat&, Stitching::IStitcherListener*) override
    {
        return Stitching::Translation();
    }

    std::vector<Stitching::Translation> translations;
    /// The progress range of every detection over a provider, in call order.
    std::vector<std::pair<int, int>> ranges;
};

/// An in-memory provider that records the index of every capture read.
class ReadRecordingProvider : public IImageProvider {
public:
    explicit ReadRecordingProvider(const std::vector<cv::Mat>& captures)
    {
        for (cv::Mat capture : captures) {
            store_.Add(capture);
        }
    }

    std::size_t Count() override { return store_.Count(); }
    bool IsEmpty() override { return store_.IsEmpty(); }
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
    {
        reads.push_back(index);
        return store_.GetImageAt(index);
    }
    void SetImageAt(std::size_t index, cv::Mat& image) override { store_.SetImageAt(index, image); }

    std::vector<std::size_t> reads;

private:
    BasicImageProvider store_;
};

}  // namespace Testing
}  // namespace ZOLT
