#include "BorderAccess.h"

#include <ZOLT/Borders.h>
#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::BasicBorderDetection;
using namespace ZOLT::Testing;

namespace {

const char kNoContentAtPair1[] = "Error: Failed to find top or left content boundary for image with index 1.\n";

/// 20 x 30 opaque grey captures with blocks of another grey; change threshold 10.
class ContentBox : public ::testing::Test {
protected:
    static cv::Mat Flat(int level = 100) { return cv::Mat(20, 30, CV_8UC4, cv::Scalar(level, level, level, 255)); }

    bool Find(const std::vector<cv::Mat>& captures, unsigned int neighbours, unsigned int change = 10)
    {
        BasicBorderDetection detection(nullptr, change, neighbours);
        BasicImageProvider provider = ProviderOf(captures);
        streams_ = CaptureStreams([&] { found_ = BorderAccess::FindContent(detection, provider, rows_, cols_); });
        return found_;
    }

    cv::Range rows_;
    cv::Range cols_;
    bool found_ = false;
    Streams streams_;
};

}  // namespace

TEST_F(ContentBox, ChangedBlockGivesExactlyThatBox)
{
    const std::vector<cv::Mat> block{Flat(), WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200)};
    // Every pixel of a 3 x 3 block has at least 3 changed neighbours.
    ASSERT_TRUE(Find(block, 2));
    EXPECT_EQ(rows_, cv::Range(8, 11));
    EXPECT_EQ(cols_, cv::Range(12, 15));
    EXPECT_TRUE(streams_.error.empty());
    // Edge pixels have 5 changed neighbours: not more than 5, so only the centre remains.
    ASSERT_TRUE(Find(block, 5));
    EXPECT_EQ(rows_, cv::Range(9, 10));
    EXPECT_EQ(cols_, cv::Range(13, 14));
}

TEST_F(ContentBox, ChangeThresholdIsStrict)
{
    const std::vector<cv::Mat> block{Flat(), WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 110)};
    EXPECT_FALSE(Find(block, 2, 10));
    EXPECT_EQ(streams_.error, kNoContentAtPair1);
    EXPECT_TRUE(Find(block, 2, 9));
    // A changed centre whose neighbours changed by exactly the threshold has no changed neighbour.
    EXPECT_FALSE(Find({Flat(), WithBlock(block[1], cv::Rect(13, 9, 1, 1), 120)}, 0, 10));

    // Only consecutive captures are compared: a block that darkens by 8 per capture never
    // changes enough, however far it drifts from the first capture.
    const cv::Mat second = Flat();
    const cv::Mat third = WithBlock(second, cv::Rect(2, 2, 3, 3), 92);
    ASSERT_TRUE(Find({WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200), second, third,
                      WithBlock(third, cv::Rect(2, 2, 3, 3), 84)},
                     2));
    EXPECT_EQ(rows_, cv::Range(8, 11));
    EXPECT_EQ(cols_, cv::Range(12, 15));
}

TEST_F(ContentBox, LoneChangedPixelIsNeverContent)
{
    for (const cv::Rect pixel : {cv::Rect(10, 7, 1, 1), cv::Rect(0, 0, 1, 1), cv::Rect(29, 19, 1, 1)}) {
        for (unsigned int neighbours = 0; neighbours <= 8; ++neighbours) {
            EXPECT_FALSE(Find({Flat(), WithBlock(Flat(), pixel, 250)}, neighbours)) << pixel << " " << neighbours;
            EXPECT_EQ(streams_.error, kNoContentAtPair1);
        }
    }
}

TEST_F(ContentBox, NeighbourThresholdEightFailsLikeIdenticalCaptures)
{
    EXPECT_FALSE(Find({Flat(), Flat()}, 2));
    const Streams identical = streams_;
    EXPECT_EQ(identical.error, kNoContentAtPair1);
    // Every pixel changes, yet none has more than 8 changed neighbours.
    EXPECT_FALSE(Find({Flat(), Flat(200)}, 8));
    EXPECT_EQ(streams_.error, identical.error);
    EXPECT_TRUE(Find({Flat(), Flat(200)}, 7));
    EXPECT_EQ(rows_, cv::Range(1, 19));
}

TEST_F(ContentBox, NeighbourCountsAtCornersEdgesAndInterior)
{
    const cv::Mat changed(4, 5, CV_8UC1, cv::Scalar(255));
    for (int row = 0; row < changed.rows; ++row) {
        for (int col = 0; col < changed.cols; ++col) {
            const bool rowEdge = row == 0 || row == changed.rows - 1;
            const bool colEdge = col == 0 || col == changed.cols - 1;
            const unsigned int expected = rowEdge && colEdge ? 3 : (rowEdge || colEdge ? 5 : 8);
            // Content exactly when the count, the pixel itself excluded, exceeds the threshold.
            for (const unsigned int threshold : {expected - 1, expected}) {
                BasicBorderDetection probe(nullptr, 10, threshold);
                bool isContent = threshold == expected;  // the opposite answer, so a missing write shows
                ASSERT_TRUE(BorderAccess::CheckNearestNeighbors(probe, changed, row, col, isContent));
                EXPECT_EQ(isContent, threshold < expected) << row << "," << col << " threshold " << threshold;
            }
        }
    }
}

TEST_F(ContentBox, TooSmallCapturesReportEveryLineWithThePairIndex)
{
    const cv::Mat row(1, 30, CV_8UC4, cv::Scalar(100, 100, 100, 255));
    EXPECT_FALSE(Find({row, WithBlock(row, cv::Rect(4, 0, 3, 1), 200), row}, 0));
    EXPECT_EQ(streams_.error, "Error: Image too small to remove border.\n"
                              "Error: Nearest neighbor detection failed.\n" +
                                  std::string(kNoContentAtPair1));
}

TEST_F(ContentBox, FailingPairIndexIsThatOfItsLaterCapture)
{
    // The failing pair is (0, 1); later pairs with content change nothing.
    const cv::Mat changed = WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200);
    EXPECT_FALSE(Find({Flat(), Flat(), changed, Flat()}, 2));
    EXPECT_EQ(streams_.error, kNoContentAtPair1);
    EXPECT_FALSE(Find({Flat()}, 2));
    EXPECT_EQ(streams_.error, "Error: Not enough images to identify a content box.\n");
}

TEST_F(ContentBox, BoxIsTheBoundingBoxOfEveryPair)
{
    const cv::Mat first = WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200);
    const cv::Mat oneRowLower = WithBlock(first, cv::Rect(12, 9, 3, 3), 50);
    const cv::Mat inside = WithBlock(oneRowLower, cv::Rect(12, 9, 3, 3), 150);
    ASSERT_TRUE(Find({Flat(), first, oneRowLower}, 2));
    EXPECT_EQ(rows_, cv::Range(8, 12));
    EXPECT_EQ(cols_, cv::Range(12, 15));
    ASSERT_TRUE(Find({Flat(), first, oneRowLower, inside}, 2));
    EXPECT_EQ(rows_, cv::Range(8, 12));
    EXPECT_EQ(cols_, cv::Range(12, 15));
    // Content reaching the last row and column ends the box there; content left and above
    // widens the starts.
    const cv::Mat corner = WithBlock(inside, cv::Rect(27, 17, 3, 3), 20);
    ASSERT_TRUE(Find({Flat(), first, corner, WithBlock(corner, cv::Rect(2, 1, 3, 3), 20)}, 2));
    EXPECT_EQ(rows_, cv::Range(1, 20));
    EXPECT_EQ(cols_, cv::Range(2, 30));
}

TEST_F(ContentBox, EachCaptureIsReadOnceAndMustBeEightBit)
{
    struct CountingProvider : BasicImageProvider {
        std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override
        {
            ++reads;
            return BasicImageProvider::GetImageAt(index);
        }
        int reads = 0;
    } provider;
    std::vector<cv::Mat> captures{Flat(), WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200), Flat(), Flat(90)};
    for (cv::Mat& capture : captures) {
        provider.Add(capture);
    }
    BasicBorderDetection detection(nullptr, 10, 2);
    ASSERT_TRUE(BorderAccess::FindContent(detection, provider, rows_, cols_));
    EXPECT_EQ(provider.reads, 1 + 4);  // the size query, then one read per capture

    cv::Mat wide;
    Flat().convertTo(wide, CV_16U);
    EXPECT_FALSE(Find({wide, wide * 2}, 2));
    EXPECT_EQ(streams_.error, "Error: Captures must be 8-bit to identify a content box.\n");
}
