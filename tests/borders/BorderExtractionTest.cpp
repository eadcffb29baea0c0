#include "BorderAccess.h"
#include "Sanitizers.h"

#include <ZOLT/Borders.h>
#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <algorithm>

#if defined(__linux__)
#include <sys/resource.h>
#endif

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicBorderDetection;
using namespace ZOLT::Testing;

namespace {

const cv::Size kCapture(200, 100);
const cv::Rect kBox(5, 10, 190, 80);  // rows [10, 90), columns [5, 195)

class BorderExtraction : public ::testing::Test {
protected:
    /// Extracts the borders of a framed pair whose content box is `box`.
    bool Extract(const cv::Rect& box)
    {
        originals_ = FramedSeries(kCapture, box);
        provider_ = ProviderOf(DeepCopies(originals_));
        streams_ = CaptureStreams([&] { extracted_ = detection_.ExtractBorders(provider_); });
        return extracted_;
    }

    bool CapturesUntouched()
    {
        for (std::size_t i = 0; i < originals_.size(); ++i) {
            if (!SamePixels(*provider_.GetImageAt(i), originals_[i])) {
                return false;
            }
        }
        return true;
    }

    bool Apply(cv::Mat& image)
    {
        bool applied = false;
        streams_ = CaptureStreams([&] { applied = detection_.ApplyBorders(image); });
        return applied;
    }

    BasicBorderDetection detection_{nullptr, 30, 2};
    std::vector<cv::Mat> originals_;
    BasicImageProvider provider_;
    Streams streams_;
    bool extracted_ = false;
};

}  // namespace

TEST_F(BorderExtraction, SavesTheFourStripsAndCropsEveryCapture)
{
    ASSERT_TRUE(Extract(kBox));
    EXPECT_TRUE(streams_.output.empty());
    const cv::Mat& first = originals_[0];
    EXPECT_TRUE(SamePixels(BorderAccess::Top(detection_), first(cv::Rect(0, 0, 200, 10))));
    EXPECT_TRUE(SamePixels(BorderAccess::Bottom(detection_), first(cv::Rect(0, 90, 200, 10))));
    EXPECT_TRUE(SamePixels(BorderAccess::Left(detection_), first(cv::Rect(0, 10, 5, 80))));
    EXPECT_TRUE(SamePixels(BorderAccess::Right(detection_), first(cv::Rect(195, 10, 5, 80))));
    for (std::size_t i = 0; i < originals_.size(); ++i) {
        const cv::Mat content = *provider_.GetImageAt(i);
        EXPECT_EQ(content.size(), cv::Size(190, 80));
        EXPECT_TRUE(SamePixels(content, originals_[i](kBox)));
        EXPECT_TRUE(content.isContinuous());  // its own buffer, not a view of the capture
    }
}

TEST_F(BorderExtraction, FramesStitchedContentWithTheStrips)
{
    ASSERT_TRUE(Extract(kBox));
    const std::vector<cv::Mat> copies = DeepCopies(originals_);
    originals_[0].setTo(cv::Scalar::all(0));  // the strips are copies of their own
    const cv::Mat content = PatternCapture(cv::Size(190, 500), 3);
    cv::Mat image = content.clone();
    ASSERT_TRUE(Apply(image));

    const cv::Mat& first = copies[0];
    ASSERT_EQ(image.size(), cv::Size(200, 520));
    EXPECT_TRUE(SamePixels(image(cv::Rect(5, 10, 190, 500)), content));
    EXPECT_TRUE(SamePixels(image(cv::Rect(0, 0, 200, 10)), first(cv::Rect(0, 0, 200, 10))));
    EXPECT_TRUE(SamePixels(image(cv::Rect(0, 510, 200, 10)), first(cv::Rect(0, 90, 200, 10))));
    EXPECT_TRUE(SamePixels(image(cv::Rect(0, 10, 5, 80)), first(cv::Rect(0, 10, 5, 80))));
    EXPECT_TRUE(SamePixels(image(cv::Rect(195, 10, 5, 80)), first(cv::Rect(195, 10, 5, 80))));
    // Below the side strips the margins stay 0 in every channel.
    EXPECT_EQ(cv::countNonZero(image(cv::Rect(0, 90, 5, 420)).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(image(cv::Rect(195, 90, 5, 420)).reshape(1)), 0);
}

TEST_F(BorderExtraction, BoxAtTheTopLeftGrowsOnlyBottomAndRight)
{
    ASSERT_TRUE(Extract(cv::Rect(0, 0, 195, 90)));
    EXPECT_TRUE(BorderAccess::Top(detection_).empty());
    EXPECT_TRUE(BorderAccess::Left(detection_).empty());
    const cv::Mat content = PatternCapture(cv::Size(195, 300), 3);
    cv::Mat image = content.clone();
    ASSERT_TRUE(Apply(image));
    ASSERT_EQ(image.size(), cv::Size(200, 310));
    EXPECT_TRUE(SamePixels(image(cv::Rect(0, 0, 195, 300)), content));
    EXPECT_TRUE(SamePixels(image(cv::Rect(0, 300, 200, 10)), originals_[0](cv::Rect(0, 90, 200, 10))));
}

TEST_F(BorderExtraction, WholeCaptureBoxExtractsNothingAndForgetsOlderStrips)
{
    ASSERT_TRUE(Extract(kBox));
    // A later series without top and left borders: the older top and left strips are gone.
    ASSERT_TRUE(Extract(cv::Rect(0, 0, 195, 90)));
    cv::Mat image = originals_[0](cv::Rect(0, 0, 195, 90)).clone();
    ASSERT_TRUE(Apply(image));
    EXPECT_EQ(image.size(), cv::Size(200, 100));
    EXPECT_TRUE(SamePixels(image, originals_[0]));

    EXPECT_FALSE(Extract(cv::Rect(cv::Point(0, 0), kCapture)));
    EXPECT_EQ(streams_.error, "Error: No border has been extracted.\n");
    EXPECT_EQ(streams_.output, "No borders were extracted.\n");
    EXPECT_TRUE(CapturesUntouched());
    cv::Mat unchanged = originals_[0];
    EXPECT_FALSE(Apply(unchanged));
    EXPECT_EQ(streams_.error, "Error: No border has been extracted.\n");
    EXPECT_EQ(unchanged.data, originals_[0].data);
}

TEST_F(BorderExtraction, FailuresLeaveCapturesAndImageUntouched)
{
    BasicImageProvider empty;
    const Streams none = CaptureStreams([&] { EXPECT_FALSE(detection_.ExtractBorders(empty)); });
    EXPECT_EQ(none.error, "Error: Empty image list when extracting common borders.\n");

    originals_ = {PatternCapture(kCapture), PatternCapture(kCapture)};
    provider_ = ProviderOf(originals_);
    streams_ = CaptureStreams([&] { EXPECT_FALSE(detection_.ExtractBorders(provider_)); });
    EXPECT_EQ(streams_.output, "No content box was found.\n");
    EXPECT_EQ(provider_.GetImageAt(1)->data, originals_[1].data);

    ASSERT_TRUE(Extract(kBox));
    cv::Mat image;
    EXPECT_FALSE(Apply(image));
    EXPECT_EQ(streams_.error, "Error: Input image is empty.\n");
    // Strips of another type cannot be placed: a failure, not a silently missing frame.
    cv::Mat threeChannels(80, 190, CV_8UC3, cv::Scalar::all(9));
    const uchar* const before = threeChannels.data;
    EXPECT_FALSE(Apply(threeChannels));
    EXPECT_EQ(streams_.error, "Error: Failed to apply borders.\n");
    EXPECT_EQ(threeChannels.data, before);
}

#if defined(__linux__)
TEST_F(BorderExtraction, CanvasThatCannotBeAllocatedIsReportedNotThrown)
{
    ASSERT_TRUE(Extract(kBox));
    // A header over a small buffer that claims 4 TiB: the canvas can never be allocated, and
    // an address-space limit makes that certain whatever the system's overcommit policy.
    // AddressSanitizer refuses a request that size by itself and cannot live under the limit.
    std::vector<uchar> buffer(16);
    cv::Mat huge(1 << 20, 1 << 20, CV_8UC4, buffer.data());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    if (!ZOLT_TESTING_ASAN) {
        rlimit limited = saved;
        limited.rlim_cur = std::min<rlim_t>(saved.rlim_cur, rlim_t(1) << 40);
        ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    }
    const bool applied = Apply(huge);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_FALSE(applied);
    EXPECT_EQ(ZOLT::Testing::WithoutSanitizerNotes(streams_.error), "Error: Insufficient memory to apply borders.\n");
    EXPECT_EQ(huge.data, buffer.data());
}
#endif
