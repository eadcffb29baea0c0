#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::RecordingListener;

namespace {

using Translations = std::vector<Translation>;

/// A detector whose pair operations answer from a script (by the value stored in the later
/// capture) and count how many of them run at once.
class ScriptedDetector : public PhaseCorrelationTranslationDetector {
public:
    using PhaseCorrelationTranslationDetector::DetectTranslation;

    ScriptedDetector(const StitcherParameters& parameters, Translations primaries, Translations alternatives = {})
        : PhaseCorrelationTranslationDetector(parameters),
          primaries_(std::move(primaries)),
          alternatives_(std::move(alternatives))
    {
    }

    Translation DetectTranslation(const cv::Mat&, const cv::Mat& current, IStitcherListener*) override
    {
        const ActiveScope scope(*this);
        return primaries_.at(PairOf(current));
    }

    std::chrono::milliseconds delay{0};
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    std::atomic<int> pairsRun{0};
    std::atomic<int> alternativeCalls{0};

protected:
    Translation DetectTranslationWithAlternative(const cv::Mat&, const cv::Mat& current, Translation& alternative,
                                                 IStitcherListener*) override
    {
        const ActiveScope scope(*this);
        ++alternativeCalls;
        alternative = alternatives_.at(PairOf(current));
        return primaries_.at(PairOf(current));
    }

private:
    struct ActiveScope {
        explicit ActiveScope(ScriptedDetector& owner) : detector(owner)
        {
            const int now = ++detector.active;
            int seen = detector.mostActive.load();
            while (now > seen && !detector.mostActive.compare_exchange_weak(seen, now)) {
            }
            ++detector.pairsRun;
            std::this_thread::sleep_for(detector.delay);
        }
        ~ActiveScope() { --detector.active; }
        ScriptedDetector& detector;
    };

    /// Capture k holds the value k in its first byte; pair k - 1 ends at capture k.
    static std::size_t PairOf(const cv::Mat& current) { return current.at<cv::Vec4b>(0, 0)[0] - 1U; }

    Translations primaries_;
    Translations alternatives_;
};

BasicImageProvider NumberedCaptures(int count)
{
    BasicImageProvider provider;
    for (int k = 0; k < count; ++k) {
        cv::Mat capture(2, 2, CV_8UC4, cv::Scalar::all(k));
        provider.Add(capture);
    }
    return provider;
}

StitcherParameters WithThreads(int maxThreads)
{
    StitcherParameters parameters;
    parameters.maxThreads = maxThreads;
    return parameters;
}

Translations Steps(std::size_t count)
{
    Translations steps;
    for (std::size_t i = 0; i < count; ++i) {
        steps.emplace_back(-static_cast<int>(i) - 1, 0);
    }
    return steps;
}

std::vector<int> ProgressOf(int captures, int progressStart, int progressEnd)
{
    BasicImageProvider provider = NumberedCaptures(captures);
    ScriptedDetector detector(WithThreads(1), Steps(captures - 1));
    RecordingListener listener;
    EXPECT_EQ(detector.DetectTranslation(provider, &listener, progressStart, progressEnd), Steps(captures - 1));
    return listener.Progress();
}

}  // namespace

TEST(SequenceDetection, ProgressFollowsTheSinglePrecisionArithmetic)
{
    EXPECT_EQ(ProgressOf(4, 0, 50), (std::vector<int>{16, 33, 50, 50}));
    EXPECT_EQ(ProgressOf(4, 50, 100), (std::vector<int>{66, 83, 99, 100}));
    EXPECT_EQ(ProgressOf(5, 10, 20), (std::vector<int>{12, 15, 17, 20, 20}));
    // One pair: the worker's report and the final one both carry the end.
    EXPECT_EQ(ProgressOf(2, 0, 100), (std::vector<int>{100, 100}));
}

TEST(SequenceDetection, NeverRunsMoreWorkersThanAllowed)
{
    const auto mostConcurrent = [](int maxThreads) {
        BasicImageProvider provider = NumberedCaptures(10);
        ScriptedDetector detector(WithThreads(maxThreads), Steps(9));
        detector.delay = std::chrono::milliseconds(15);
        EXPECT_EQ(detector.DetectTranslation(provider, nullptr, 0, 100), Steps(9));
        EXPECT_EQ(detector.pairsRun.load(), 9);
        EXPECT_EQ(detector.active.load(), 0);
        return detector.mostActive.load();
    };
    EXPECT_EQ(mostConcurrent(1), 1);
    const int four = mostConcurrent(4);
    EXPECT_LE(four, 4);
    EXPECT_GE(four, 2);
    // Values below 1 count as 1 rather than stalling or running unbounded.
    EXPECT_EQ(mostConcurrent(0), 1);
    EXPECT_EQ(mostConcurrent(-3), 1);
}

TEST(SequenceDetection, ParallelDetectionGivesTheSameListAsSequential)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(240, 1400), 3);
    const auto series = ZOLT::Testing::CutSeries(
        page, cv::Size(240, 180), ZOLT::Testing::OffsetsFromSteps({0, 0}, {{0, 40}, {0, 75}, {0, 0}, {0, 61}, {0, 88},
                                                                            {0, 12}, {0, 90}, {0, 33}, {0, 70}}));
    BasicImageProvider provider;
    for (cv::Mat capture : series.captures) {
        provider.Add(capture);
    }
    PhaseCorrelationTranslationDetector sequential(WithThreads(1));
    PhaseCorrelationTranslationDetector parallel(WithThreads(4));
    const Translations expected = series.Translations();
    EXPECT_EQ(sequential.DetectTranslation(provider, nullptr, 0, 100), expected);
    EXPECT_EQ(parallel.DetectTranslation(provider, nullptr, 0, 100), expected);
}

TEST(SequenceDetection, FewerThanTwoCapturesFailWithoutListenerCalls)
{
    for (int count : {0, 1}) {
        BasicImageProvider provider = NumberedCaptures(count);
        ScriptedDetector detector(WithThreads(1), {});
        RecordingListener listener;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(detector.DetectTranslation(provider, &listener, 0, 100).empty());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Not enough images in the IImageProvider.\n");
        EXPECT_TRUE(listener.Calls().empty());
    }
}

TEST(SequenceDetection, CancelFromTheFirstReportStopsEverything)
{
    BasicImageProvider provider = NumberedCaptures(6);
    ScriptedDetector detector(WithThreads(1), Steps(5));
    RecordingListener listener;
    listener.progressAnswer = [](int, std::size_t) { return false; };

    EXPECT_TRUE(detector.DetectTranslation(provider, &listener, 0, 100).empty());
    EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"progress 20", "error 4"}));
    // The dispatcher starts at most the pair it was handing out when it saw the cancel.
    EXPECT_LE(detector.pairsRun.load(), 2);
    EXPECT_EQ(detector.active.load(), 0);
}

TEST(SequenceDetection, CancelFromTheFinalReportStillFails)
{
    BasicImageProvider provider = NumberedCaptures(4);
    ScriptedDetector detector(WithThreads(2), Steps(3));
    RecordingListener listener;
    listener.progressAnswer = [](int, std::size_t call) { return call < 3; };

    EXPECT_TRUE(detector.DetectTranslation(provider, &listener, 0, 30).empty());
    EXPECT_EQ(listener.Progress().size(), 4U);
    EXPECT_EQ(listener.Progress().back(), 30);
    EXPECT_EQ(listener.Errors(), std::vector<IStitcherListener::StitcherErrorCodes>{IStitcherListener::Cancelled});
    EXPECT_TRUE(listener.Completions().empty());
}

TEST(SequenceDetection, WorkerExceptionsReachTheCallerAfterAllWorkersJoined)
{
    // A provider whose sixth capture cannot be read.
    class FailingProvider : public BasicImageProvider {
    public:
        std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
        {
            if (index == 5) {
                throw std::runtime_error("capture 5 is gone");
            }
            return BasicImageProvider::GetImageAt(index);
        }
    };
    FailingProvider provider;
    for (int k = 0; k < 9; ++k) {
        cv::Mat capture(2, 2, CV_8UC4, cv::Scalar::all(k));
        provider.Add(capture);
    }
    ScriptedDetector detector(WithThreads(2), Steps(8));
    detector.delay = std::chrono::milliseconds(5);
    RecordingListener listener;
    try {
        detector.DetectTranslation(provider, &listener, 0, 100);
        ADD_FAILURE() << "the provider's exception was swallowed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "capture 5 is gone");
    }
    EXPECT_EQ(detector.active.load(), 0);
    EXPECT_TRUE(listener.Errors().empty());
    EXPECT_LT(detector.pairsRun.load(), 8);
}

TEST(SequenceDetection, OpenCvExceptionsFromAPairReachTheCaller)
{
    BasicImageProvider provider;
    for (const cv::Size size : {cv::Size(64, 48), cv::Size(64, 48), cv::Size(60, 48), cv::Size(64, 48)}) {
        cv::Mat capture(size, CV_8UC4, cv::Scalar::all(128));
        provider.Add(capture);
    }
    PhaseCorrelationTranslationDetector detector(WithThreads(2));
    EXPECT_THROW(detector.DetectTranslation(provider, nullptr, 0, 100), cv::Exception);
}

TEST(SequenceDetection, AlternativesGoThroughTheirOwnSlotAndTheConsistencyRule)
{
    StitcherParameters parameters = WithThreads(2);
    parameters.useAlternativePeak = true;
    const auto detect = [&parameters](const Translations& primaries, const Translations& alternatives) {
        BasicImageProvider provider = NumberedCaptures(static_cast<int>(primaries.size()) + 1);
        ScriptedDetector detector(parameters, primaries, alternatives);
        const Translations result = detector.DetectTranslation(provider, nullptr, 0, 100);
        EXPECT_EQ(detector.alternativeCalls.load(), static_cast<int>(primaries.size()));
        return result;
    };
    const Translation far(-40, 0);
    const Translation near(-13, 0);

    // One replacement enables the next.
    EXPECT_EQ(detect({far, near, near}, {far, far, far}), (Translations{far, far, far}));
    // Entry 0 keeps its primary even when its alternative differs.
    EXPECT_EQ(detect({near, far}, {far, far}), (Translations{near, far}));
    // An alternative equal to neither its primary nor the previous result changes nothing.
    EXPECT_EQ(detect({far, near}, {far, Translation(-7, 0)}), (Translations{far, near}));
    // Alternatives equal to their primaries change nothing.
    EXPECT_EQ(detect({far, near, far}, {far, near, far}), (Translations{far, near, far}));

    // Without the flag the alternative slot is never used.
    BasicImageProvider provider = NumberedCaptures(3);
    ScriptedDetector plain(WithThreads(1), {far, near}, {far, far});
    EXPECT_EQ(plain.DetectTranslation(provider, nullptr, 0, 100), (Translations{far, near}));
    EXPECT_EQ(plain.alternativeCalls.load(), 0);
}
