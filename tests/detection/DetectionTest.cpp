// Phase correlation through the detector's public face: worked shifts, the fast correlation
// against the direct one on random pairs, and detection over a sequence on every path.

#include "DirectCorrelationOracle.h"
#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cmath>
#include <random>
#include <stdexcept>

namespace ZOLT {
namespace Testing {
namespace {

using Stitching::IStitcherListener;
using Stitching::PhaseCorrelationTranslationDetector;
using Stitching::StitcherParameters;
using Stitching::Translation;
using Translations = std::vector<Translation>;

StitcherParameters Parameters(int direction, int maxThreads = 1, bool alternatives = false)
{
    StitcherParameters parameters;
    parameters.direction = direction;
    parameters.maxThreads = maxThreads;
    parameters.useAlternativePeak = alternatives;
    return parameters;
}

/// Opens the protected pair operation with alternative, as a derived host detector may use it.
class Detector : public PhaseCorrelationTranslationDetector {
public:
    using PhaseCorrelationTranslationDetector::DetectTranslationWithAlternative;
    using PhaseCorrelationTranslationDetector::PhaseCorrelationTranslationDetector;
};

/// Pair operations answered from a script by the number in the later capture's first byte.
struct ScriptedDetector : PhaseCorrelationTranslationDetector {
    ScriptedDetector(const StitcherParameters& parameters, Translations primaries, Translations alternatives)
        : PhaseCorrelationTranslationDetector(parameters), primaries(primaries), alternatives(alternatives)
    {
    }
    using PhaseCorrelationTranslationDetector::DetectTranslation;
    Translation DetectTranslation(const cv::Mat&, const cv::Mat& current, IStitcherListener*) override
    {
        return primaries.at(current.at<cv::Vec4b>(0, 0)[0] - 1U);
    }
    Translation DetectTranslationWithAlternative(const cv::Mat&, const cv::Mat& current, Translation& alternative,
                                                 IStitcherListener*) override
    {
        ++alternativeCalls;
        alternative = alternatives.at(current.at<cv::Vec4b>(0, 0)[0] - 1U);
        return primaries.at(current.at<cv::Vec4b>(0, 0)[0] - 1U);
    }

    Translations primaries;
    Translations alternatives;
    std::atomic<int> alternativeCalls{0};
};

BasicImageProvider Numbered(int count)
{
    BasicImageProvider provider;
    for (int k = 0; k < count; ++k) {
        cv::Mat capture(2, 2, CV_8UC4, cv::Scalar::all(k));
        provider.Add(capture);
    }
    return provider;
}

TEST(PairCorrelation, MeasuresWorkedShiftsAlongTheSearchedAxes)
{
    const cv::Mat page = MakePage(cv::Size(900, 1400), 42);
    const auto detect = [&page](int dx, int dy, int direction) {
        const cv::Rect window(300, 500, 320, 240);
        return Detector(Parameters(direction))
            .DetectTranslation(page(window), page(window + cv::Point(dx, dy)), nullptr);
    };
    // A window scrolled down by 5 rows shows its content 5 rows higher: (-5, 0).
    EXPECT_EQ(detect(0, 5, 2), Translation(-5, 0));
    EXPECT_EQ(detect(-7, 11, 2), Translation(-11, 7));
    EXPECT_EQ(detect(0, 230, 2), Translation(-230, 0));
    EXPECT_EQ(detect(9, 30, 0), Translation(-30, 0));
    EXPECT_EQ(detect(9, 30, 1).GetRows(), 0);
    cv::Mat grey(48, 64, CV_8UC1, cv::Scalar(7));
    EXPECT_THROW(Detector(Parameters(2)).DetectTranslation(grey, grey, nullptr), cv::Exception);
}

TEST(PairCorrelation, EqualsTheDirectComputationOnRandomPairs)
{
    std::mt19937 engine(7);
    const auto between = [&engine](int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); };
    const cv::Mat page = MakePage(cv::Size(420, 420), 7);
    for (int round = 0; round < 60; ++round) {
        const int direction = std::vector<int>{0, 1, 2, 2, 3, -1}[between(0, 5)];
        const cv::Size size(between(0, 9) == 0 ? between(1, 3) : between(4, 130), between(4, 130));
        cv::Mat first;
        cv::Mat second;
        const int kind = between(0, 3);
        if (kind <= 1) {  // page content moved by any shift the window allows
            const cv::Point origin(between(size.width, page.cols - 2 * size.width), between(size.height, 150));
            first = page(cv::Rect(origin, size)).clone();
            second = page(cv::Rect(origin + cv::Point(between(1 - size.width, size.width - 1),
                                                      between(1 - size.height, size.height - 1)),
                                   size))
                         .clone();
        } else {  // flat or black captures: most spectrum components are exactly zero
            first = cv::Mat(size, CV_8UC4, cv::Scalar::all(kind == 2 ? between(0, 255) : 0));
            second = cv::Mat(size, CV_8UC4, cv::Scalar::all(between(0, 255)));
            cv::rectangle(second, cv::Rect(between(0, size.width - 1), 0, 3, size.height / 2), cv::Scalar::all(9), -1);
        }
        if (between(0, 3) == 0) {
            cv::cvtColor(first, first, cv::COLOR_BGRA2BGR);
            cv::cvtColor(second, second, cv::COLOR_BGRA2BGR);
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << size << ", direction " << direction);
        const DirectDetection direct = DirectDetectWithAlternative(first, second, direction);
        StitcherParameters parameters = Parameters(direction);
        // The weak warning comes exactly when the peak lies below the minimum: the same value.
        for (const bool above : {false, true}) {
            parameters.minimumPeakValue = above ? std::nextafter(direct.peakValue, HUGE_VAL) : direct.peakValue;
            Detector detector(parameters);
            RecordingListener listener;
            Translation alternative(99, 99);
            EXPECT_EQ(detector.DetectTranslationWithAlternative(first, second, alternative, &listener),
                      direct.primary);
            EXPECT_EQ(alternative, direct.alternative);
            EXPECT_EQ(listener.Warnings().size(), above ? 1U : 0U);
        }
    }
}

TEST(SequenceDetection, SharedSpectraGiveThePairResultsWhateverTheProviderHandsOut)
{
    const CaptureSeries series = CutSeries(MakePage(cv::Size(240, 900), 3), cv::Size(240, 180),
                                           OffsetsFromSteps({0, 0}, {{0, 40}, {0, 75}, {0, 0}, {0, 61}, {0, 88}}));
    BasicImageProvider inMemory;
    // A budget of nothing makes every read a fresh copy from disk.
    const TempFolder spill;
    Stitching::MemoryEfficientImageProvider reloading(spill.Prefix(), 0);
    for (const cv::Mat& capture : series.captures) {
        cv::Mat copy = capture.clone();
        inMemory.Add(copy);
        cv::Mat other = capture.clone();
        reloading.Add(other);
    }
    for (const bool alternatives : {false, true}) {
        Detector pairwise(Parameters(2, 1, alternatives));
        Translations expected;
        for (std::size_t i = 1; i < series.captures.size(); ++i) {
            expected.push_back(pairwise.DetectTranslation(series.captures[i - 1], series.captures[i], nullptr));
        }
        EXPECT_EQ(expected, series.Translations());
        for (IImageProvider* provider : std::vector<IImageProvider*>{&inMemory, &reloading}) {
            for (const int threads : {1, 3}) {
                Detector detector(Parameters(2, threads, alternatives));
                EXPECT_EQ(detector.DetectTranslation(*provider, nullptr, 0, 100), expected) << threads;
            }
        }
    }
}

TEST(SequenceDetection, OverridesAreCalledForEveryPairAndAlternativesFollowTheConsistencyRule)
{
    const Translation far(-40, 0);
    const Translation near(-13, 0);
    BasicImageProvider provider = Numbered(4);
    ScriptedDetector plain(Parameters(2, 2), {far, near, near}, {far, far, far});
    EXPECT_EQ(plain.DetectTranslation(provider, nullptr, 0, 100), (Translations{far, near, near}));
    EXPECT_EQ(plain.alternativeCalls.load(), 0);
    // One replacement enables the next; entry 0 keeps its primary.
    ScriptedDetector consistent(Parameters(2, 2, true), {far, near, near}, {near, far, far});
    EXPECT_EQ(consistent.DetectTranslation(provider, nullptr, 0, 100), (Translations{far, far, far}));
    EXPECT_EQ(consistent.alternativeCalls.load(), 3);
    // Two pairs are already a sequence the rule applies to.
    BasicImageProvider three = Numbered(3);
    ScriptedDetector pair(Parameters(2, 1, true), {far, near}, {near, far});
    EXPECT_EQ(pair.DetectTranslation(three, nullptr, 0, 100), (Translations{far, far}));
}

TEST(SequenceDetection, ReportsProgressStopsOnCancelAndPassesFailuresOn)
{
    BasicImageProvider four = Numbered(4);
    const Translations steps{{-1, 0}, {-2, 0}, {-3, 0}};
    ScriptedDetector detector(Parameters(2), steps, steps);
    RecordingListener listener;
    EXPECT_EQ(detector.DetectTranslation(four, &listener, 50, 100), steps);
    EXPECT_EQ(listener.Progress(), (std::vector<int>{66, 83, 99, 100}));  // single-precision steps

    RecordingListener cancelling;
    cancelling.progressAnswer = [](int, std::size_t) { return false; };
    EXPECT_TRUE(detector.DetectTranslation(four, &cancelling, 0, 60).empty());
    EXPECT_EQ(cancelling.Log(), "progress 20, error 4");

    BasicImageProvider one = Numbered(1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(detector.DetectTranslation(one, &listener, 0, 100).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Not enough images in the IImageProvider.\n");

    struct FailingProvider : BasicImageProvider {
        std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
        {
            return index == 2 ? throw std::runtime_error("capture 2 is gone") : BasicImageProvider::GetImageAt(index);
        }
    } failing;
    for (cv::Mat capture(2, 2, CV_8UC4, cv::Scalar::all(1)); failing.Count() < 4;) {
        failing.Add(capture);
    }
    ScriptedDetector parallel(Parameters(2, 2), {{0, 0}, {0, 0}, {0, 0}}, {});
    EXPECT_THROW(parallel.DetectTranslation(failing, nullptr, 0, 100), std::runtime_error);
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
