#include "BorderAccess.h"
#include "RecordingListener.h"

#include <ZOLT/Borders.h>
#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

using ZOLT::BasicImageProvider;
using ZOLT::IImageProvider;
using ZOLT::Stitching::BasicBorderDetection;
using ZOLT::Stitching::IStitcher;
using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::Translation;
using namespace ZOLT::Testing;

namespace {

using Calls = std::vector<std::string>;

/// A wrapped stitcher whose "stitch" is its first capture; it records how it was called.
struct FakeStitcher : IStitcher {
    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener*, int start, int end,
                bool reportCompletion) override
    {
        seen = provider.GetImageAt(0)->size();
        range = {start, end};
        completion = reportCompletion;
        if (succeed) {
            result = provider.GetImageAt(0)->clone();
        }
        return succeed;
    }
    std::vector<Translation> GetTranslations() const override { return translations; }

    bool succeed = true;
    cv::Size seen;
    std::pair<int, int> range;
    bool completion = true;
    std::vector<Translation> translations{Translation(-3, 0)};
};

/// A border detection whose borders can never be put back.
struct FailingAddBorders : BasicBorderDetection {
    using BasicBorderDetection::BasicBorderDetection;
    bool AddBorders(const cv::Range&, const cv::Range&, cv::Mat&) override { return false; }
};

class Decorator : public ::testing::Test {
protected:
    /// Stitches a framed pair (content box rows [10, 90), columns [5, 195) of 100 x 200).
    bool Stitch(BasicBorderDetection& detection, IStitcherListener* listener, bool reportCompletion = true,
                int count = 2)
    {
        originals_ = FramedSeries(cv::Size(200, 100), cv::Rect(5, 10, 190, 80), count);
        provider_ = ProviderOf(DeepCopies(originals_));
        bool stitched = false;
        streams_ = CaptureStreams(
            [&] { stitched = detection.Stitch(provider_, result_, listener, 10, 60, reportCompletion); });
        return stitched;
    }

    std::shared_ptr<FakeStitcher> fake_ = std::make_shared<FakeStitcher>();
    RecordingListener listener_;
    std::vector<cv::Mat> originals_;
    BasicImageProvider provider_;
    cv::Mat result_;
    Streams streams_;
};

}  // namespace

TEST_F(Decorator, SuccessFramesTheWrappedResultAndCompletesOnce)
{
    BasicBorderDetection detection(fake_, 30, 2);
    ASSERT_TRUE(Stitch(detection, &listener_));
    EXPECT_EQ(fake_->seen, cv::Size(190, 80));
    EXPECT_EQ(fake_->range, std::make_pair(10, 60));
    EXPECT_FALSE(fake_->completion);
    // The content of capture 0 framed by its own borders is capture 0 again.
    EXPECT_TRUE(SamePixels(result_, originals_[0]));
    EXPECT_EQ(listener_.Calls(), Calls{"complete 1"});
    EXPECT_EQ(detection.GetTranslations(), fake_->translations);
    EXPECT_TRUE(streams_.error.empty() && streams_.output.empty());

    RecordingListener quiet;
    ASSERT_TRUE(Stitch(detection, &quiet, false));
    EXPECT_TRUE(quiet.Calls().empty());
}

TEST_F(Decorator, ExtractionFailureFallsBackToAPlainStitch)
{
    BasicBorderDetection detection(fake_, 30, 2);
    ASSERT_TRUE(Stitch(detection, &listener_, true, 1));
    EXPECT_EQ(streams_.output, "No content box was found.\n");
    EXPECT_TRUE(SamePixels(result_, originals_[0]));
    EXPECT_EQ(listener_.Calls(), Calls{"complete 1"});
}

TEST_F(Decorator, WrappedStitcherFailureFailsOnce)
{
    fake_->succeed = false;
    BasicBorderDetection detection(fake_, 30, 2);
    EXPECT_FALSE(Stitch(detection, &listener_));
    EXPECT_EQ(streams_.error, "Error: Failed to stitch images.\n");
    EXPECT_EQ(listener_.Calls(), Calls{"complete 0"});
    EXPECT_TRUE(result_.empty());
}

TEST_F(Decorator, ListenerDecidesWhenBordersCannotBePutBack)
{
    FailingAddBorders detection(fake_, 30, 2);
    const char lines[] =
        "Error: Failed to apply borders.\nError: Found borders, but failed to apply them to result image.\n";

    listener_.recoverableAnswer = true;
    EXPECT_TRUE(Stitch(detection, &listener_));
    EXPECT_EQ(streams_.error, lines);
    EXPECT_EQ(listener_.Calls(), (Calls{"error 5 recoverable", "complete 1"}));
    EXPECT_TRUE(SamePixels(result_, originals_[0](cv::Rect(5, 10, 190, 80))));  // content without borders

    RecordingListener refusing;
    EXPECT_FALSE(Stitch(detection, &refusing));
    EXPECT_EQ(refusing.Calls(), (Calls{"error 5 recoverable", "complete 0"}));

    RecordingListener uncompleted;
    EXPECT_FALSE(Stitch(detection, &uncompleted, false));
    EXPECT_EQ(uncompleted.Calls(), Calls{"error 5 recoverable"});

    EXPECT_FALSE(Stitch(detection, nullptr));
    EXPECT_EQ(streams_.error, lines);
}

TEST_F(Decorator, WithoutAWrappedStitcherNothingIsCropped)
{
    BasicBorderDetection detection(nullptr, 30, 2);
    EXPECT_FALSE(Stitch(detection, &listener_));
    EXPECT_EQ(streams_.error, "Error: No stitcher to decorate.\n");
    EXPECT_EQ(listener_.Calls(), Calls{"complete 0"});
    EXPECT_TRUE(SamePixels(*provider_.GetImageAt(0), originals_[0]));
    EXPECT_TRUE(detection.GetTranslations().empty());
}

TEST_F(Decorator, DerivedClassReplacesTheContentSearch)
{
    struct UpperHalf : BasicBorderDetection {
        using BasicBorderDetection::BasicBorderDetection;
        bool FindContent(IImageProvider&, const cv::Size& size, cv::Range& rows, cv::Range& cols) override
        {
            rows = cv::Range(0, size.height / 2);
            cols = cv::Range(0, size.width);
            return true;
        }
    } detection(fake_, 30, 2);
    ASSERT_TRUE(Stitch(detection, &listener_, true, 1));
    EXPECT_EQ(fake_->seen, cv::Size(200, 50));
    EXPECT_TRUE(SamePixels(result_, originals_[0]));
}

TEST_F(Decorator, CopiesShareTheWrappedStitcher)
{
    BasicBorderDetection original(fake_, 30, 2);
    BasicBorderDetection copy(original);
    EXPECT_EQ(copy.GetTranslations(), fake_->translations);

    auto other = std::make_shared<FakeStitcher>();
    other->translations = {Translation(0, 7), Translation(1, 1)};
    copy = BasicBorderDetection(other, 1, 1);
    EXPECT_EQ(copy.GetTranslations(), other->translations);
    EXPECT_EQ(fake_.use_count(), 2);  // the test and the original; the copy let go
}
