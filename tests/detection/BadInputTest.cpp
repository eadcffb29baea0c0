// Bad input to the phase-correlation detector, pair by pair and over a provider: each row gives
// the designed outcome (the OpenCV exception, a translation, an error line, the exception of the
// provider or listener passed on), never a crash.

#include "BadInput.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Detection.h>
#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Describe;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Thrown;
using ZOLT::Testing::WithChannels;
using ZOLT::Testing::WithDepth;

namespace {

constexpr auto Quiet = &ZOLT::Testing::QuietParameters;
constexpr auto With = &ZOLT::Testing::QuietParametersWith;

/// Four 48 x 64 captures of a page scrolled down by 8 rows each: every pair measures (-8, 0).
const std::vector<cv::Mat>& Captures()
{
    static const std::vector<cv::Mat> captures = [] {
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(64, 120), 21, false);
        return ZOLT::Testing::CutSeries(page, cv::Size(64, 48), ZOLT::Testing::VerticalOffsets(4, 8)).captures;
    }();
    return captures;
}

cv::Mat Capture(std::size_t index)
{
    return Captures()[index].clone();
}

/// The pair operation of `first` and `second`.
std::function<void(Probe&)> Pair(cv::Mat first, cv::Mat second, StitcherParameters parameters = Quiet())
{
    return [=](Probe& probe) {
        PhaseCorrelationTranslationDetector detector(parameters);
        probe.result = Describe(detector.DetectTranslation(first, second, &probe.listener));
    };
}

/// Detection over a provider holding `captures`, progress range 0 to 90.
std::function<void(Probe&)> Sequence(std::vector<cv::Mat> captures, StitcherParameters parameters = Quiet(),
                                     int progressStart = 0, int progressEnd = 90)
{
    return [=](Probe& probe) {
        // Fresh copies every run: a row may be run again, and nothing may carry over.
        BasicImageProvider provider;
        for (cv::Mat capture : ZOLT::Testing::DeepCopies(captures)) {
            provider.Add(capture);
        }
        PhaseCorrelationTranslationDetector detector(parameters);
        probe.result = Describe(detector.DetectTranslation(provider, &probe.listener, progressStart, progressEnd));
    };
}

/// The series with capture 2 replaced by `odd`.
std::vector<cv::Mat> WithOddCapture(const cv::Mat& odd)
{
    std::vector<cv::Mat> captures = {Capture(0), Capture(1), odd, Capture(3)};
    return captures;
}

/// A provider that claims one capture more than it holds, as a host's faulty store might.
class OverclaimingProvider : public ZOLT::IImageProvider {
public:
    std::size_t Count() override { return store.Count() + 1; }
    bool IsEmpty() override { return false; }
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override { return store.GetImageAt(index); }
    void SetImageAt(std::size_t index, cv::Mat& image) override { store.SetImageAt(index, image); }
    BasicImageProvider store;
};

const std::string kAllEight = "(-8, 0) (-8, 0) (-8, 0)";
const std::string kProgress = "progress 30, progress 60, progress 90, progress 90";
const std::string kTooFew = "Error: Not enough images in the IImageProvider.\n";

const std::vector<BadInputCase>& PairCases()
{
    static const std::vector<BadInputCase> cases = {
        {"EmptyFirst", Pair(cv::Mat(), Capture(1)), Thrown::OpenCv},
        {"EmptySecond", Pair(Capture(0), cv::Mat()), Thrown::OpenCv},
        {"OneChannel", Pair(WithChannels(Capture(0), 1), WithChannels(Capture(1), 1)), Thrown::OpenCv},
        {"TwoChannels", Pair(WithChannels(Capture(0), 2), WithChannels(Capture(1), 2)), Thrown::OpenCv},
        {"ThreeChannels", Pair(WithChannels(Capture(0), 3), WithChannels(Capture(1), 3)), Thrown::Nothing, "(-8, 0)"},
        {"FiveChannels", Pair(WithChannels(Capture(0), 5), WithChannels(Capture(1), 5)), Thrown::OpenCv},
        {"ThreeAgainstFourChannels", Pair(WithChannels(Capture(0), 3), Capture(1)), Thrown::Nothing, "(-8, 0)"},
        // The depth is not checked; the grey values keep their proportions, so the peak stays.
        {"SixteenBit", Pair(WithDepth(Capture(0), CV_16U), WithDepth(Capture(1), CV_16U)), Thrown::Nothing,
         "(-8, 0)"},
        {"FloatSamples", Pair(WithDepth(Capture(0), CV_32F), WithDepth(Capture(1), CV_32F)), Thrown::Nothing,
         "(-8, 0)"},
        // 48 and 60 rows pad to 96 and 120: the spectra cannot be multiplied.
        {"SizesWithDifferentTransforms", Pair(Capture(0), cv::Mat(60, 64, CV_8UC4, cv::Scalar::all(90))),
         Thrown::OpenCv},
        // 48 and 47 rows both pad to 96: the pair correlates, off-centre by half a row.
        {"SizesWithTheSameTransform", Pair(Capture(0), Capture(1).rowRange(0, 47)), Thrown::Nothing, "(-8, 0)"},
        {"SinglePixels",
         Pair(cv::Mat(1, 1, CV_8UC4, cv::Scalar(9, 9, 9, 255)), cv::Mat(1, 1, CV_8UC4, cv::Scalar(200, 0, 0, 255))),
         Thrown::Nothing, "(0, 0)"},
        {"Views", Pair(Capture(0)(cv::Rect(1, 1, 60, 40)), Capture(1)(cv::Rect(1, 1, 60, 40))), Thrown::Nothing,
         "(-8, 0)"},
        {"DirectionThree", Pair(Capture(0), Capture(1), With([](StitcherParameters& p) { p.direction = 3; })),
         Thrown::Nothing, "(0, 0)"},
        {"DirectionNegative", Pair(Capture(0), Capture(1), With([](StitcherParameters& p) { p.direction = -1; })),
         Thrown::Nothing, "(0, 0)"},
        {"HugeMinimumPeak",
         Pair(Capture(0), Capture(1), With([](StitcherParameters& p) { p.minimumPeakValue = 1e300; })),
         Thrown::Nothing, "(-8, 0)", "warning 4"},
        {"InfiniteMinimumPeak",
         Pair(Capture(0), Capture(1),
              With([](StitcherParameters& p) { p.minimumPeakValue = std::numeric_limits<double>::infinity(); })),
         Thrown::Nothing, "(-8, 0)", "warning 4"},
        {"NanMinimumPeak",
         Pair(Capture(0), Capture(1),
              With([](StitcherParameters& p) { p.minimumPeakValue = std::numeric_limits<double>::quiet_NaN(); })),
         Thrown::Nothing, "(-8, 0)"},
        {"NegativeMinimumPeak",
         Pair(Capture(0), Capture(1), With([](StitcherParameters& p) { p.minimumPeakValue = -1.0; })),
         Thrown::Nothing, "(-8, 0)"},
    };
    return cases;
}

const std::vector<BadInputCase>& SequenceCases()
{
    static const std::vector<BadInputCase> cases = {
        {"NoCaptures", Sequence({}), Thrown::Nothing, "none", "", kTooFew},
        {"OneCapture", Sequence({Capture(0)}), Thrown::Nothing, "none", "", kTooFew},
        {"MaxThreadsZero", Sequence(Captures(), With([](StitcherParameters& p) { p.maxThreads = 0; })),
         Thrown::Nothing, kAllEight, kProgress},
        {"MaxThreadsNegative", Sequence(Captures(), With([](StitcherParameters& p) { p.maxThreads = -7; })),
         Thrown::Nothing, kAllEight, kProgress},
        {"MaxThreadsHuge", Sequence(Captures(), With([](StitcherParameters& p) { p.maxThreads = INT_MAX; })),
         Thrown::Nothing, kAllEight, kProgress},
        // A pair that OpenCV refuses ends the call with its exception once every worker is joined;
        // the pair before it has been reported, nothing after it.
        {"OddSizeInTheMiddle", Sequence(WithOddCapture(cv::Mat(60, 64, CV_8UC4, cv::Scalar::all(90)))),
         Thrown::OpenCv, "", "progress 30"},
        // Without a listener: which pairs finish before the failing one varies from run to run.
        {"OddSizeInTheMiddleOnFourThreads",
         [](Probe& probe) {
             BasicImageProvider provider;
             for (cv::Mat capture : WithOddCapture(cv::Mat(60, 64, CV_8UC4, cv::Scalar::all(90)))) {
                 provider.Add(capture);
             }
             PhaseCorrelationTranslationDetector detector(With([](StitcherParameters& p) { p.maxThreads = 4; }));
             probe.result = Describe(detector.DetectTranslation(provider, nullptr, 0, 90));
         },
         Thrown::OpenCv},
        {"OneChannelInTheMiddle", Sequence(WithOddCapture(WithChannels(Capture(2), 1))), Thrown::OpenCv, "",
         "progress 30"},
        {"EmptyInTheMiddle", Sequence(WithOddCapture(cv::Mat())), Thrown::OpenCv, "", "progress 30"},
        {"OddChannelsInTheMiddleWithAlternatives",
         Sequence(WithOddCapture(WithChannels(Capture(2), 2)),
                  With([](StitcherParameters& p) { p.useAlternativePeak = true; })),
         Thrown::OpenCv, "", "progress 30"},
        {"SixteenBitInTheMiddle", Sequence(WithOddCapture(WithDepth(Capture(2), CV_16U))), Thrown::Nothing,
         kAllEight, kProgress},
        {"ProviderThatThrows",
         [](Probe& probe) {
             OverclaimingProvider provider;
             cv::Mat first = Capture(0);
             provider.store.Add(first);
             PhaseCorrelationTranslationDetector detector(Quiet());
             probe.result = Describe(detector.DetectTranslation(provider, &probe.listener, 0, 90));
         },
         Thrown::OutOfRange, "", "", "", "", "invalid vector subscript"},
        {"ListenerThatThrows",
         [](Probe& probe) {
             probe.listener.progressAnswer = [](int, std::size_t) -> bool { throw std::runtime_error("host"); };
             BasicImageProvider provider;
             for (cv::Mat capture : Captures()) {
                 provider.Add(capture);
             }
             PhaseCorrelationTranslationDetector detector(Quiet());
             probe.result = Describe(detector.DetectTranslation(provider, &probe.listener, 0, 90));
         },
         Thrown::RuntimeError, "", "progress 30", "", "", "host"},
        {"ReversedProgressRange", Sequence(Captures(), Quiet(), 90, 0), Thrown::Nothing, kAllEight,
         "progress 60, progress 30, progress 0, progress 0"},
        {"ExtremeProgressRange", Sequence(Captures(), Quiet(), INT_MIN, INT_MAX), Thrown::Nothing, kAllEight,
         "progress -715827840, progress 715827968, progress 2147483647, progress 2147483647"},
    };
    return cases;
}

class DetectorPairBadInput : public testing::TestWithParam<BadInputCase> {};
class DetectorSequenceBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(DetectorPairBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

TEST_P(DetectorSequenceBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, DetectorPairBadInput, testing::ValuesIn(PairCases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });
INSTANTIATE_TEST_SUITE_P(Table, DetectorSequenceBadInput, testing::ValuesIn(SequenceCases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
