// Extracting the border strips of a series and putting them back around stitched content.

#include "BorderAccess.h"
#include "Sanitizers.h"

#include <gtest/gtest.h>

#include <algorithm>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace ZOLT {
namespace Testing {
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
        bool extracted = false;
        streams_ = CaptureStreams([&] { extracted = detection_.ExtractBorders(provider_); });
        return extracted;
    }

    bool Apply(cv::Mat& image)
    {
        bool applied = false;
        streams_ = CaptureStreams([&] { applied = detection_.ApplyBorders(image); });
        return applied;
    }

    Stitching::BasicBorderDetection detection_{nullptr, 30, 2};
    std::vector<cv::Mat> originals_;
    BasicImageProvider provider_;
    Streams streams_;
};

TEST_F(BorderExtraction, CropsEveryCaptureAndFramesStitchedContentWithTheFirstCapturesStrips)
{
    originals_ = FramedSeries(kCapture, kBox);
    const cv::Mat first = originals_[0].clone();
    provider_ = ProviderOf(originals_);  // shares the pixels with originals_
    streams_ = CaptureStreams([&] { EXPECT_TRUE(detection_.ExtractBorders(provider_)); });
    EXPECT_TRUE(streams_.error.empty() && streams_.output.empty());
    for (std::size_t i = 0; i < originals_.size(); ++i) {
        const cv::Mat content = *provider_.GetImageAt(i);
        EXPECT_TRUE(SamePixels(content, originals_[i](kBox)));
        EXPECT_TRUE(content.isContinuous());  // its own buffer, not a view of the capture
    }
    originals_[0].setTo(cv::Scalar::all(0));  // the strips are copies of their own
    // Taller content: the side strips end where the first capture's do, the margins below stay 0.
    const cv::Mat content = PatternCapture(cv::Size(190, 500), 3);
    cv::Mat image = content.clone();
    ASSERT_TRUE(Apply(image));
    cv::Mat expected = cv::Mat::zeros(520, 200, CV_8UC4);
    first.rowRange(0, 90).copyTo(expected.rowRange(0, 90));
    first.rowRange(90, 100).copyTo(expected.rowRange(510, 520));
    content.copyTo(expected(cv::Rect(5, 10, 190, 500)));
    EXPECT_TRUE(SamePixels(image, expected));
}

TEST_F(BorderExtraction, BoxAtTheTopLeftGrowsOnlyBottomAndRightAndForgetsOlderStrips)
{
    ASSERT_TRUE(Extract(kBox));
    // A later series without top and left borders: the older top and left strips are not applied.
    ASSERT_TRUE(Extract(cv::Rect(0, 0, 195, 90)));
    cv::Mat image = originals_[0](cv::Rect(0, 0, 195, 90)).clone();
    ASSERT_TRUE(Apply(image));
    EXPECT_TRUE(SamePixels(image, originals_[0]));

    // A box of the whole capture extracts nothing, and nothing can be applied.
    EXPECT_FALSE(Extract(cv::Rect(cv::Point(0, 0), kCapture)));
    EXPECT_EQ(streams_.error, "Error: No border has been extracted.\n");
    EXPECT_EQ(streams_.output, "No borders were extracted.\n");
    for (std::size_t i = 0; i < originals_.size(); ++i) {
        EXPECT_TRUE(SamePixels(*provider_.GetImageAt(i), originals_[i]));
    }
    cv::Mat unchanged = originals_[0];
    EXPECT_FALSE(Apply(unchanged));
    EXPECT_EQ(streams_.error, "Error: No border has been extracted.\n");
    EXPECT_EQ(unchanged.data, originals_[0].data);
}

TEST_F(BorderExtraction, FailuresLeaveCapturesAndImageUntouched)
{
    BasicImageProvider empty;
    EXPECT_EQ(StderrOf([&] { EXPECT_FALSE(detection_.ExtractBorders(empty)); }),
              "Error: Empty image list when extracting common borders.\n");

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

#if defined(__linux__)
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
#endif
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
