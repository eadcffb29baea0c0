// The border-detection decorator around a stand-in stitcher: what it hands on, what it reports,
// and how it falls back or fails.

#include "BorderAccess.h"
#include "RecordingListener.h"

#include <gtest/gtest.h>

namespace ZOLT {
namespace Testing {
namespace {

using namespace Stitching;
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
    /// Stitches a framed series (content box rows [10, 90), columns [5, 195) of 100 x 200).
    bool Stitch(BasicBorderDetection& detection, IStitcherListener* listener, bool completion = true, int count = 2)
    {
        originals_ = FramedSeries(cv::Size(200, 100), cv::Rect(5, 10, 190, 80), count);
        provider_ = ProviderOf(DeepCopies(originals_));
        bool stitched = false;
        streams_ = CaptureStreams([&] { stitched = detection.Stitch(provider_, result_, listener, 10, 60, completion); });
        return stitched;
    }

    std::shared_ptr<FakeStitcher> fake_ = std::make_shared<FakeStitcher>();
    RecordingListener listener_;
    std::vector<cv::Mat> originals_;
    BasicImageProvider provider_;
    cv::Mat result_;
    Streams streams_;
};

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

    // Without a content box (one capture) the wrapped stitcher stitches the captures as they are.
    RecordingListener plain;
    ASSERT_TRUE(Stitch(detection, &plain, true, 1));
    EXPECT_EQ(streams_.output, "No content box was found.\n");
    EXPECT_EQ(fake_->seen, cv::Size(200, 100));
    EXPECT_EQ(plain.Calls(), Calls{"complete 1"});

    // A derived class may replace the content search.
    struct UpperHalf : BasicBorderDetection {
        using BasicBorderDetection::BasicBorderDetection;
        bool FindContent(IImageProvider&, const cv::Size& size, cv::Range& rows, cv::Range& cols) override
        {
            rows = cv::Range(0, size.height / 2);
            cols = cv::Range(0, size.width);
            return true;
        }
    } upperHalf(fake_, 30, 2);
    ASSERT_TRUE(Stitch(upperHalf, nullptr, true, 1));
    EXPECT_EQ(fake_->seen, cv::Size(200, 50));
    EXPECT_TRUE(SamePixels(result_, originals_[0]));
}

TEST_F(Decorator, FailuresOfTheWrappedStitcherOrOfItsOwn)
{
    BasicBorderDetection missing(nullptr, 30, 2);
    EXPECT_FALSE(Stitch(missing, &listener_));
    EXPECT_EQ(streams_.error, "Error: No stitcher to decorate.\n");
    EXPECT_EQ(listener_.Calls(), Calls{"complete 0"});
    EXPECT_TRUE(SamePixels(*provider_.GetImageAt(0), originals_[0]));  // nothing was cropped
    EXPECT_TRUE(missing.GetTranslations().empty());

    fake_->succeed = false;
    BasicBorderDetection detection(fake_, 30, 2);
    RecordingListener failed;
    EXPECT_FALSE(Stitch(detection, &failed));
    EXPECT_EQ(streams_.error, "Error: Failed to stitch images.\n");
    EXPECT_EQ(failed.Calls(), Calls{"complete 0"});
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

TEST_F(Decorator, AssignedCopyLetsGoOfTheOldWrappedStitcher)
{
    BasicBorderDetection original(fake_, 30, 2);
    BasicBorderDetection copy(original);
    EXPECT_EQ(copy.GetTranslations(), fake_->translations);
    auto other = std::make_shared<FakeStitcher>();
    other->translations = {Translation(0, 7), Translation(1, 1)};
    copy = BasicBorderDetection(other, 1, 1);
    EXPECT_EQ(copy.GetTranslations(), other->translations);
    EXPECT_EQ(fake_.use_count(), 2);  // the test and the original
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
