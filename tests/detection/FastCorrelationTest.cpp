// The correlation reuses buffers, shares spectra between the pairs of a sequence and reduces the
// cross-power spectrum in one pass. None of that may change a result: surfaces, peaks and
// translations are compared with the direct computation on many random pairs.

#include "DetectorAccess.h"
#include "DirectCorrelationOracle.h"
#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::DirectCorrelationSurface;
using ZOLT::Testing::DirectDetectWithAlternative;
using ZOLT::Testing::HighestPeak;
using TestAccess = ZOLT::Stitching::TestAccess<PhaseCorrelationTranslationDetector>;

namespace {

StitcherParameters WithDirection(int direction, int maxThreads = 1, bool useAlternativePeak = false)
{
    StitcherParameters parameters;
    parameters.direction = direction;
    parameters.maxThreads = maxThreads;
    parameters.useAlternativePeak = useAlternativePeak;
    return parameters;
}

/// True when both matrices have the same size and type and every byte is equal.
bool Identical(const cv::Mat& left, const cv::Mat& right)
{
    if (left.size() != right.size() || left.type() != right.type()) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(left.cols) * left.elemSize();
    for (int row = 0; row < left.rows; ++row) {
        if (std::memcmp(left.ptr(row), right.ptr(row), rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

/// One random pair: its kind, sizes, direction and channels are drawn from a seeded engine.
struct RandomPair {
    cv::Mat first;
    cv::Mat second;
    int direction = 2;
    std::string description;
};

class PairFactory {
public:
    explicit PairFactory(std::uint32_t seed) : engine_(seed), page_(ZOLT::Testing::MakePage(cv::Size(420, 420), seed)) {}

    RandomPair Next()
    {
        static const int directions[] = {0, 1, 2, 2, 2, 3, -1};
        RandomPair pair;
        pair.direction = directions[Between(0, 6)];
        const cv::Size size = DrawSize();
        const int kind = Between(0, 5);
        std::ostringstream description;
        description << "kind " << kind << ", " << size.width << "x" << size.height << ", direction " << pair.direction;
        switch (kind) {
        case 0:
        case 1: {
            // Page content moved by any shift the window allows, zero included.
            const cv::Point shift(Between(-size.width + 1, size.width - 1), Between(-size.height + 1, size.height - 1));
            const cv::Point origin(Between(size.width, page_.cols - 2 * size.width),
                                   Between(size.height, page_.rows - 2 * size.height));
            pair.first = page_(cv::Rect(origin, size)).clone();
            pair.second = page_(cv::Rect(origin + shift, size)).clone();
            description << ", shift " << shift;
            break;
        }
        case 2:
            // Flat captures: most spectrum components are exactly zero.
            pair.first = cv::Mat(size, CV_8UC4, Grey(Between(0, 255)));
            pair.second = Between(0, 1) == 0 ? pair.first.clone() : cv::Mat(size, CV_8UC4, Grey(Between(0, 255)));
            break;
        case 3:
            // Flat captures with a few flat blocks.
            pair.first = Blocks(size);
            pair.second = Between(0, 2) == 0 ? pair.first.clone() : Blocks(size);
            break;
        case 4:
            pair.first = Noise(size);
            pair.second = Noise(size);
            break;
        default:
            // All black: the cross-power spectrum is zero everywhere.
            pair.first = cv::Mat::zeros(size, CV_8UC4);
            pair.second = Between(0, 1) == 0 ? pair.first.clone() : Blocks(size);
            break;
        }
        if (Between(0, 3) == 0) {
            cv::cvtColor(pair.first, pair.first, cv::COLOR_BGRA2BGR);
            cv::cvtColor(pair.second, pair.second, cv::COLOR_BGRA2BGR);
            description << ", 3 channels";
        }
        pair.description = description.str();
        return pair;
    }

    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }

private:
    cv::Size DrawSize()
    {
        // Mostly small odd and even sizes; now and then a single row or column.
        const int width = Between(0, 9) == 0 ? Between(1, 3) : Between(4, 130);
        const int height = Between(0, 9) == 0 ? Between(1, 3) : Between(4, 130);
        return cv::Size(width, height);
    }

    static cv::Scalar Grey(int value) { return cv::Scalar(value, value, value, 255); }

    cv::Mat Blocks(cv::Size size)
    {
        cv::Mat image(size, CV_8UC4, Grey(Between(0, 255)));
        for (int blocks = Between(1, 4); blocks > 0; --blocks) {
            const cv::Point corner(Between(0, size.width - 1), Between(0, size.height - 1));
            const cv::Size extent(Between(1, size.width), Between(1, size.height));
            cv::rectangle(image, cv::Rect(corner, extent), Grey(Between(0, 255)), cv::FILLED);
        }
        return image;
    }

    cv::Mat Noise(cv::Size size)
    {
        cv::Mat image(size, CV_8UC4);
        cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(256));
        return image;
    }

    std::mt19937 engine_;
    cv::Mat page_;
};

}  // namespace

TEST(FastCorrelation, SurfacesEqualTheDirectOnesBitForBit)
{
    // One detector per direction, used for every pair: its buffers are reused across pairs of
    // every size, so stale padding or spectra from an earlier pair would show here.
    std::map<int, PhaseCorrelationTranslationDetector> detectors;
    PairFactory factory(20240611);
    for (int round = 0; round < 600; ++round) {
        const RandomPair pair = factory.Next();
        SCOPED_TRACE(pair.description);
        const auto detector = detectors.try_emplace(pair.direction, WithDirection(pair.direction)).first;

        cv::Size expectedSize;
        const cv::Mat expected = DirectCorrelationSurface(pair.first, pair.second, pair.direction, expectedSize);
        cv::Size size(0, 0);
        const cv::Mat surface = TestAccess::CorrelationSurface(detector->second, pair.first, pair.second, size);
        ASSERT_EQ(size, expectedSize);
        ASSERT_TRUE(Identical(surface, expected));
    }
}

TEST(FastCorrelation, TranslationsAndAlternativesEqualTheDirectOnes)
{
    std::map<int, PhaseCorrelationTranslationDetector> detectors;
    PairFactory factory(77);
    for (int round = 0; round < 600; ++round) {
        const RandomPair pair = factory.Next();
        SCOPED_TRACE(pair.description);
        auto& detector = detectors.try_emplace(pair.direction, WithDirection(pair.direction)).first->second;
        const ZOLT::Testing::DirectDetection expected = DirectDetectWithAlternative(pair.first, pair.second, pair.direction);

        EXPECT_EQ(detector.DetectTranslation(pair.first, pair.second, nullptr), expected.primary.translation);
        Translation alternative(12345, 12345);
        EXPECT_EQ(TestAccess::DetectWithAlternative(detector, pair.first, pair.second, alternative, nullptr),
                  expected.primary.translation);
        EXPECT_EQ(alternative, expected.alternative);
    }
}

TEST(FastCorrelation, TheTransformStepHandsOutTheComplexOutputSpectrum)
{
    // The step keeps its contract: the full complex spectrum of the padded image, value for
    // value (zeros of either sign count as equal, as they do for every later step).
    PairFactory factory(31);
    std::map<int, PhaseCorrelationTranslationDetector> detectors;
    for (int round = 0; round < 120; ++round) {
        const RandomPair pair = factory.Next();
        SCOPED_TRACE(pair.description);
        cv::Mat grey;
        cv::cvtColor(pair.first, grey, cv::COLOR_RGBA2GRAY);
        const auto& detector = detectors.try_emplace(pair.direction, WithDirection(pair.direction)).first->second;
        cv::Mat spectrum;
        cv::Size size;
        ASSERT_TRUE(TestAccess::PerformDFT(detector, grey, spectrum, size));

        cv::Mat padded(size, CV_32FC1, cv::Scalar(0));
        cv::Mat centre = padded(cv::Rect((size.width - grey.cols) / 2, (size.height - grey.rows) / 2, grey.cols, grey.rows));
        grey.convertTo(centre, CV_32F);
        cv::Mat expected;
        cv::dft(padded, expected, cv::DFT_COMPLEX_OUTPUT, 0);
        ASSERT_EQ(spectrum.size(), expected.size());
        ASSERT_EQ(spectrum.type(), expected.type());
        EXPECT_EQ(cv::countNonZero(spectrum.reshape(1) != expected.reshape(1)), 0);
    }
}

TEST(FastCorrelation, RowsTooWideForExactFloatSumsCorrelateAsBefore)
{
    // Row sums beyond a float's 24 bits: rounding would depend on the order in which the
    // transform adds the pixels, so such captures are transformed with complex output.
    const cv::Size size(72000, 3);
    cv::Mat first(size, CV_8UC4);
    cv::randu(first, cv::Scalar::all(250), cv::Scalar::all(256));
    cv::Mat second = first.clone();
    second.col(7).setTo(cv::Scalar::all(3));
    for (const int direction : {1, 3}) {
        SCOPED_TRACE(direction);
        PhaseCorrelationTranslationDetector detector(WithDirection(direction));
        cv::Mat grey;
        cv::cvtColor(first, grey, cv::COLOR_RGBA2GRAY);
        cv::Mat spectrum;
        cv::Size size2;
        ASSERT_TRUE(TestAccess::PerformDFT(detector, grey, spectrum, size2));
        cv::Mat padded(size2, CV_32FC1, cv::Scalar(0));
        cv::Mat centre = padded(cv::Rect((size2.width - grey.cols) / 2, (size2.height - grey.rows) / 2, grey.cols, grey.rows));
        grey.convertTo(centre, CV_32F);
        cv::Mat expectedSpectrum;
        cv::dft(padded, expectedSpectrum, cv::DFT_COMPLEX_OUTPUT, 0);
        EXPECT_EQ(cv::countNonZero(spectrum.reshape(1) != expectedSpectrum.reshape(1)), 0);

        cv::Size expectedSize;
        const cv::Mat expected = DirectCorrelationSurface(first, second, direction, expectedSize);
        EXPECT_TRUE(Identical(TestAccess::CorrelationSurface(detector, first, second, size2), expected));
    }
}

TEST(FastCorrelation, PeakValuesDecideTheWeakWarningExactlyAsBefore)
{
    // With the threshold at the direct peak value no warning is due; just above it, one is.
    PairFactory factory(5);
    for (int round = 0; round < 40; ++round) {
        const RandomPair pair = factory.Next();
        SCOPED_TRACE(pair.description);
        cv::Size size;
        const double peak =
            HighestPeak(DirectCorrelationSurface(pair.first, pair.second, pair.direction, size), size, pair.direction).value;
        StitcherParameters atPeak = WithDirection(pair.direction);
        atPeak.minimumPeakValue = peak;
        StitcherParameters abovePeak = atPeak;
        abovePeak.minimumPeakValue = std::nextafter(peak, HUGE_VAL);

        ZOLT::Testing::RecordingListener quiet;
        PhaseCorrelationTranslationDetector(atPeak).DetectTranslation(pair.first, pair.second, &quiet);
        EXPECT_TRUE(quiet.Warnings().empty());
        ZOLT::Testing::RecordingListener warned;
        PhaseCorrelationTranslationDetector(abovePeak).DetectTranslation(pair.first, pair.second, &warned);
        EXPECT_EQ(warned.Warnings().size(), 1U);
    }
}

TEST(FastCorrelation, CapturesOfDifferentSizesWithOnePaddedSizeCorrelateAsBefore)
{
    // 100 and 99 columns both pad to 200: the direct computation correlates them, unaligned.
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(300, 300), 3);
    const cv::Mat first = page(cv::Rect(40, 50, 100, 80)).clone();
    const cv::Mat second = page(cv::Rect(43, 61, 99, 80)).clone();
    cv::Size expectedSize;
    const cv::Mat expected = DirectCorrelationSurface(first, second, 2, expectedSize);
    PhaseCorrelationTranslationDetector detector(WithDirection(2));
    cv::Size size;
    EXPECT_TRUE(Identical(TestAccess::CorrelationSurface(detector, first, second, size), expected));
    EXPECT_EQ(detector.DetectTranslation(first, second, nullptr), HighestPeak(expected, expectedSize, 2).translation);

    // Padded sizes that differ still raise OpenCV's exception, from the pair and from a sequence.
    const cv::Mat narrower = page(cv::Rect(43, 61, 90, 80)).clone();
    EXPECT_THROW(detector.DetectTranslation(first, narrower, nullptr), cv::Exception);
    BasicImageProvider provider;
    cv::Mat captures[] = {first.clone(), first.clone(), narrower};
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    EXPECT_THROW(detector.DetectTranslation(provider, nullptr, 0, 100), cv::Exception);
}

TEST(FastCorrelation, ConcurrentPairsOnOneDetectorKeepTheirOwnBuffers)
{
    PhaseCorrelationTranslationDetector detector(WithDirection(2));
    std::atomic<int> mismatches{0};
    const auto correlate = [&detector, &mismatches](std::uint32_t seed) {
        PairFactory factory(seed);
        for (int round = 0; round < 30; ++round) {
            RandomPair pair = factory.Next();
            cv::Size size;
            const Translation expected =
                HighestPeak(DirectCorrelationSurface(pair.first, pair.second, 2, size), size, 2).translation;
            if (detector.DetectTranslation(pair.first, pair.second, nullptr) != expected) {
                ++mismatches;
            }
        }
    };
    std::thread other(correlate, 1U);
    correlate(2U);
    other.join();
    EXPECT_EQ(mismatches.load(), 0);
}

namespace {

/// A series of small captures scrolled by uneven steps in both directions.
std::vector<cv::Mat> SmallSeries(std::uint32_t seed, int count)
{
    std::mt19937 engine(seed);
    std::vector<cv::Point> steps;
    for (int i = 1; i < count; ++i) {
        steps.emplace_back(std::uniform_int_distribution<int>(-6, 6)(engine),
                           std::uniform_int_distribution<int>(0, 60)(engine));
    }
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(260, 700), seed);
    return ZOLT::Testing::CutSeries(page, cv::Size(150, 111), ZOLT::Testing::OffsetsFromSteps(cv::Point(50, 0), steps))
        .captures;
}

BasicImageProvider ProviderOf(std::vector<cv::Mat>& captures)
{
    BasicImageProvider provider;
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    return provider;
}

/// Hands out a new deep copy of its capture on every request, as a store that reads captures
/// back from disk does.
class CopyingProvider : public ZOLT::IImageProvider {
public:
    explicit CopyingProvider(std::vector<cv::Mat> captures) : captures_(std::move(captures)) {}
    std::size_t Count() override { return captures_.size(); }
    bool IsEmpty() override { return captures_.empty(); }
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
    {
        return std::make_shared<cv::Mat>(captures_.at(index).clone());
    }
    void SetImageAt(std::size_t index, cv::Mat& image) override { captures_.at(index) = image; }

private:
    std::vector<cv::Mat> captures_;
};

/// The direct primaries and alternatives of consecutive captures, with the consistency rule
/// applied when asked.
std::vector<Translation> DirectSeries(const std::vector<cv::Mat>& captures, int direction, bool alternatives)
{
    std::vector<Translation> primaries;
    std::vector<Translation> seconds;
    for (std::size_t i = 1; i < captures.size(); ++i) {
        const auto detection = DirectDetectWithAlternative(captures[i - 1], captures[i], direction);
        primaries.push_back(detection.primary.translation);
        seconds.push_back(detection.alternative);
    }
    for (std::size_t k = 1; alternatives && k < primaries.size(); ++k) {
        if (seconds[k] != primaries[k] && seconds[k] == primaries[k - 1]) {
            primaries[k] = seconds[k];
        }
    }
    return primaries;
}

}  // namespace

TEST(FastSequenceDetection, SharedSpectraGiveTheDirectTranslations)
{
    std::vector<cv::Mat> captures = SmallSeries(9, 9);
    // A flat capture in the middle, whose spectrum is almost all exact zeros.
    captures[4].setTo(cv::Scalar(200, 200, 200, 255));
    BasicImageProvider provider = ProviderOf(captures);
    for (const int direction : {0, 2}) {
        for (const bool alternatives : {false, true}) {
            const std::vector<Translation> expected = DirectSeries(captures, direction, alternatives);
            for (const int threads : {1, 2, 3}) {
                SCOPED_TRACE("direction " + std::to_string(direction) + ", threads " + std::to_string(threads) +
                             (alternatives ? ", alternative peaks" : ""));
                PhaseCorrelationTranslationDetector detector(WithDirection(direction, threads, alternatives));
                EXPECT_EQ(detector.DetectTranslation(provider, nullptr, 0, 100), expected);
                // A second run on the same detector reuses the buffers the first one left.
                EXPECT_EQ(detector.DetectTranslation(provider, nullptr, 0, 100), expected);
            }
        }
    }
}

TEST(FastSequenceDetection, CapturesHandedOutAsNewCopiesGiveTheSameTranslations)
{
    std::vector<cv::Mat> captures = SmallSeries(4, 7);
    CopyingProvider provider(captures);
    PhaseCorrelationTranslationDetector detector(WithDirection(2, 2));
    EXPECT_EQ(detector.DetectTranslation(provider, nullptr, 0, 100), DirectSeries(captures, 2, false));
}

namespace {

/// Overrides the pair operation and feeds the base operation other images than the pair.
class ReorderingDetector : public PhaseCorrelationTranslationDetector {
public:
    enum class Feed { Swapped, CopyOfSecond, FirstTwice };
    ReorderingDetector(const StitcherParameters& parameters, Feed feed)
        : PhaseCorrelationTranslationDetector(parameters), feed_(feed)
    {
    }
    using PhaseCorrelationTranslationDetector::DetectTranslation;

    Translation DetectTranslation(const cv::Mat& first, const cv::Mat& second, IStitcherListener* listener) override
    {
        ++calls;
        switch (feed_) {
        case Feed::Swapped:
            return PhaseCorrelationTranslationDetector::DetectTranslation(second, first, listener);
        case Feed::CopyOfSecond: {
            cv::Mat flipped;
            cv::flip(second, flipped, 1);
            return PhaseCorrelationTranslationDetector::DetectTranslation(first, flipped, listener);
        }
        case Feed::FirstTwice:
        default:
            return PhaseCorrelationTranslationDetector::DetectTranslation(first, first, listener);
        }
    }

    std::atomic<int> calls{0};

private:
    Feed feed_;
};

}  // namespace

TEST(FastSequenceDetection, OverriddenPairOperationsGetResultsForWhatTheyPass)
{
    std::vector<cv::Mat> captures = SmallSeries(12, 6);
    BasicImageProvider provider = ProviderOf(captures);
    const auto expect = [&captures](ReorderingDetector::Feed feed) {
        std::vector<Translation> expected;
        for (std::size_t i = 1; i < captures.size(); ++i) {
            cv::Mat first = captures[i - 1];
            cv::Mat second = captures[i];
            if (feed == ReorderingDetector::Feed::Swapped) {
                std::swap(first, second);
            } else if (feed == ReorderingDetector::Feed::CopyOfSecond) {
                second = cv::Mat();
                cv::flip(captures[i], second, 1);
            } else {
                second = first;
            }
            expected.push_back(DirectDetectWithAlternative(first, second, 2).primary.translation);
        }
        return expected;
    };
    for (const auto feed :
         {ReorderingDetector::Feed::Swapped, ReorderingDetector::Feed::CopyOfSecond, ReorderingDetector::Feed::FirstTwice}) {
        for (const int threads : {1, 2}) {
            ReorderingDetector detector(WithDirection(2, threads), feed);
            EXPECT_EQ(detector.DetectTranslation(provider, nullptr, 0, 100), expect(feed));
            EXPECT_EQ(detector.calls.load(), static_cast<int>(captures.size()) - 1);
        }
    }
}
