// Out-of-range tuning values through every configuration the factory builds. The factory passes
// every value on unchanged, so each row gives the outcome the component reading the value
// designs for it: a clamped thread count, translations of (0, 0) with their warnings, a warning
// on every pair, or the pixel reader's exception of the smart stitcher's framing.

#include "BadInput.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Factory.h>
#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::IStitcher;
using ZOLT::Stitching::StitcherFactory;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Shape;
using ZOLT::Testing::Thrown;

namespace {

constexpr auto Plain = &ZOLT::Testing::ScrolledCaptures;
constexpr auto Framed = &ZOLT::Testing::FramedScrolledCaptures;
constexpr auto With = &ZOLT::Testing::QuietParametersWith;

using Captures = std::vector<cv::Mat>;
using Change = void (*)(StitcherParameters&);

std::function<void(Probe&)> Stitch(std::shared_ptr<IStitcher> (*make)(const StitcherParameters&), Change change,
                                   Captures captures)
{
    return [=](Probe& probe) {
        // Fresh copies every run: a row may be run again, and nothing may carry over.
        BasicImageProvider provider;
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(captures)) {
            provider.Add(capture);
        }
        cv::Mat result;
        const bool stitched = make(With(change))->Stitch(provider, result, &probe.listener, 0, 100, true);
        probe.result = (stitched ? "true " : "false ") + Shape(result);
    };
}

std::shared_ptr<IStitcher> Basic(const StitcherParameters& parameters)
{
    return StitcherFactory::CreateBasicStitcher(parameters);
}

std::shared_ptr<IStitcher> Bordered(const StitcherParameters& parameters)
{
    return StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 24, 3);
}

template <unsigned int ScaleFactor>
std::shared_ptr<IStitcher> Smart(const StitcherParameters& parameters)
{
    return StitcherFactory::CreateSmartStitcher(parameters, ScaleFactor);
}

const std::string kDetected = "progress 30, progress 60, progress 90, progress 90";
const std::string kBuilt = "progress 90, progress 93, progress 96, progress 100";
const std::string kDone = kDetected + ", " + kBuilt + ", progress 100, complete 1";
// All translations (0, 0): capture 0 alone, with both zero-translation warnings.
const std::string kNothingMoved = kDetected + ", " + kBuilt + ", warning 2, warning 3, progress 100, complete 1";
const std::string kSmartStitched = "progress 20, progress 25, progress 46, progress 67, progress 88, progress 88, "
                                   "progress 88, progress 90, progress 92, progress 95, progress 95";

const std::vector<BadInputCase>& Cases()
{
    static const std::vector<BadInputCase> cases = {
        {"BasicDirectionThree", Stitch(Basic, [](StitcherParameters& p) { p.direction = 3; }, Plain()),
         Thrown::Nothing, "true 48x64x4", kNothingMoved},
        {"BasicDirectionNegative", Stitch(Basic, [](StitcherParameters& p) { p.direction = INT_MIN; }, Plain()),
         Thrown::Nothing, "true 48x64x4", kNothingMoved},
        {"BasicMaxThreadsZero", Stitch(Basic, [](StitcherParameters& p) { p.maxThreads = 0; }, Plain()),
         Thrown::Nothing, "true 72x64x4", kDone},
        {"BasicMaxThreadsNegative", Stitch(Basic, [](StitcherParameters& p) { p.maxThreads = INT_MIN; }, Plain()),
         Thrown::Nothing, "true 72x64x4", kDone},
        {"BasicMinimumPeakInfinite",
         Stitch(Basic,
                [](StitcherParameters& p) { p.minimumPeakValue = std::numeric_limits<double>::infinity(); }, Plain()),
         Thrown::Nothing, "true 72x64x4",
         "warning 4, progress 30, warning 4, progress 60, warning 4, progress 90, progress 90, " + kBuilt +
             ", progress 100, complete 1"},
        {"BasicMinimumPeakNan",
         Stitch(Basic, [](StitcherParameters& p) { p.minimumPeakValue = std::numeric_limits<double>::quiet_NaN(); },
                Plain()),
         Thrown::Nothing, "true 72x64x4", kDone},
        // A zero share of 0 % is never above any limit; runs of 0 are never above 0.
        {"BasicZeroLimits",
         Stitch(Basic,
                [](StitcherParameters& p) {
                    p.maxZeroTranslationsPercent = 0;
                    p.maxConsecutiveZeroTranslations = 0;
                },
                Plain()),
         Thrown::Nothing, "true 72x64x4", kDone},
        {"BasicLargestLimits",
         Stitch(Basic,
                [](StitcherParameters& p) {
                    p.direction = 3;
                    p.maxZeroTranslationsPercent = std::numeric_limits<std::uint64_t>::max();
                    p.maxConsecutiveZeroTranslations = std::numeric_limits<std::uint64_t>::max();
                },
                Plain()),
         Thrown::Nothing, "true 48x64x4", kDetected + ", " + kBuilt + ", progress 100, complete 1"},
        // The content box does not depend on the direction, but no move is measured in it: the
        // first capture's content comes back framed. The decorator reports only the completion.
        {"BorderedDirectionThree", Stitch(Bordered, [](StitcherParameters& p) { p.direction = 3; }, Framed()),
         Thrown::Nothing, "true 104x104x4", kDetected + ", " + kBuilt + ", warning 2, warning 3, complete 1"},
        {"BorderedMaxThreadsZero", Stitch(Bordered, [](StitcherParameters& p) { p.maxThreads = 0; }, Framed()),
         Thrown::Nothing, "true 128x104x4", kDetected + ", " + kBuilt + ", complete 1"},
        // Read as unsigned, no colour difference passes the threshold: the region is the whole
        // window, which its fixed frame holds still.
        {"SmartNegativeThresholds",
         Stitch(Smart<1>,
                [](StitcherParameters& p) {
                    p.differenceThreshold = INT_MIN;
                    p.minimumBorderWidth = INT_MIN;
                },
                Framed()),
         Thrown::Nothing, "true 104x104x4",
         "progress 20, progress 25, progress 46, progress 67, progress 88, progress 88, progress 88, progress 90, "
         "progress 92, progress 95, warning 2, warning 3, progress 95, progress 100, complete 1"},
        // The framing samples side colours 2 to 12 scaled rows above the bottom: with a scale
        // factor of 0 that is the row below the capture, and the pixel reader refuses it.
        {"SmartScaleFactorZero", Stitch(Smart<0>, [](StitcherParameters&) {}, Framed()), Thrown::InvalidArgument, "",
         kSmartStitched, "", "", "'position' is out of bounds."},
        // The factory hands the unsigned scale factor on as an int: the largest becomes -1.
        {"SmartLargestScaleFactor", Stitch(Smart<UINT_MAX>, [](StitcherParameters&) {}, Framed()),
         Thrown::InvalidArgument, "", kSmartStitched, "", "", "'position' is out of bounds."},
    };
    return cases;
}

class FactoryBadParameters : public testing::TestWithParam<BadInputCase> {};

TEST_P(FactoryBadParameters, GiveTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, FactoryBadParameters, testing::ValuesIn(Cases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
