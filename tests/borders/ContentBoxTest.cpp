// The content box search: grey differences of consecutive captures, the neighbour rule, and the
// box that bounds every pair.

#include "BorderAccess.h"

#include <gtest/gtest.h>

namespace ZOLT {
namespace Testing {
namespace {

using Stitching::BasicBorderDetection;

const std::string kNoContentAtPair1 = "Error: Failed to find top or left content boundary for image with index 1.\n";

/// A 20 x 30 opaque grey capture.
cv::Mat Flat(int level = 100)
{
    return cv::Mat(20, 30, CV_8UC4, cv::Scalar(level, level, level, 255));
}

TEST(ContentBox, WorkedExamples)
{
    const cv::Rect block(12, 8, 3, 3);
    const cv::Mat changed = WithBlock(Flat(), block, 200);
    const cv::Mat slightly = WithBlock(Flat(), block, 110);
    // Only consecutive captures are compared: a block that darkens by 8 per capture never changes
    // enough, however far it drifts from the first capture.
    const cv::Mat drift1 = WithBlock(Flat(), cv::Rect(2, 2, 3, 3), 92);
    const cv::Mat drift2 = WithBlock(drift1, cv::Rect(2, 2, 3, 3), 84);
    const cv::Mat lower = WithBlock(changed, cv::Rect(12, 9, 3, 3), 50);
    const cv::Mat inside = WithBlock(lower, cv::Rect(12, 9, 3, 3), 150);
    const cv::Mat corner = WithBlock(inside, cv::Rect(27, 17, 3, 3), 20);
    const cv::Mat row(1, 30, CV_8UC4, cv::Scalar(100, 100, 100, 255));
    cv::Mat wide;
    Flat().convertTo(wide, CV_16U);
    const struct {
        const char* name;
        std::vector<cv::Mat> captures;
        unsigned int neighbours;
        unsigned int change;
        cv::Range rows;  // empty when no box is found
        cv::Range cols;
        std::string error;
    } cases[] = {
        // Every pixel of a 3 x 3 block has at least 3 changed neighbours; edge pixels have 5, not
        // more than 5, so with that threshold only the centre remains.
        {"block", {Flat(), changed}, 2, 10, {8, 11}, {12, 15}, ""},
        {"block, 5 neighbours", {Flat(), changed}, 5, 10, {9, 10}, {13, 14}, ""},
        {"change at the threshold", {Flat(), slightly}, 2, 10, {}, {}, kNoContentAtPair1},
        {"change above the threshold", {Flat(), slightly}, 2, 9, {8, 11}, {12, 15}, ""},
        // A changed centre whose neighbours changed by exactly the threshold has none changed.
        {"centre alone", {Flat(), WithBlock(slightly, cv::Rect(13, 9, 1, 1), 120)}, 0, 10, {}, {}, kNoContentAtPair1},
        {"slow drift", {changed, Flat(), drift1, drift2}, 2, 10, {8, 11}, {12, 15}, ""},
        {"identical", {Flat(), Flat()}, 2, 10, {}, {}, kNoContentAtPair1},
        // Every pixel changes, yet none has more than 8 changed neighbours.
        {"threshold 8", {Flat(), Flat(200)}, 8, 10, {}, {}, kNoContentAtPair1},
        {"threshold 7", {Flat(), Flat(200)}, 7, 10, {1, 19}, {1, 29}, ""},
        // The failing pair is (0, 1); later pairs with content change nothing.
        {"first pair empty", {Flat(), Flat(), changed, Flat()}, 2, 10, {}, {}, kNoContentAtPair1},
        {"one capture", {Flat()}, 2, 10, {}, {}, "Error: Not enough images to identify a content box.\n"},
        {"bounding box of pairs", {Flat(), changed, lower}, 2, 10, {8, 12}, {12, 15}, ""},
        {"pair inside", {Flat(), changed, lower, inside}, 2, 10, {8, 12}, {12, 15}, ""},
        // Content reaching the last row and column ends the box there; content left and above
        // widens the starts.
        {"to the edges", {Flat(), changed, corner, WithBlock(corner, cv::Rect(2, 1, 3, 3), 20)}, 2, 10, {1, 20},
         {2, 30}, ""},
        {"too small", {row, WithBlock(row, cv::Rect(4, 0, 3, 1), 200), row}, 0, 10, {}, {},
         "Error: Image too small to remove border.\nError: Nearest neighbor detection failed.\n" + kNoContentAtPair1},
        {"16-bit", {wide, wide * 2}, 2, 10, {}, {}, "Error: Captures must be 8-bit to identify a content box.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BasicBorderDetection detection(nullptr, c.change, c.neighbours);
        BasicImageProvider provider = ProviderOf(c.captures);
        cv::Range rows;
        cv::Range cols;
        bool found = false;
        EXPECT_EQ(StderrOf([&] { found = BorderAccess::FindContent(detection, provider, rows, cols); }), c.error);
        ASSERT_EQ(found, !c.rows.empty());
        if (found) {
            EXPECT_EQ(rows, c.rows);
            EXPECT_EQ(cols, c.cols);
        }
    }
}

TEST(ContentBox, LoneChangedPixelIsNeverContent)
{
    for (const cv::Rect pixel : {cv::Rect(10, 7, 1, 1), cv::Rect(0, 0, 1, 1), cv::Rect(29, 19, 1, 1)}) {
        for (unsigned int neighbours = 0; neighbours <= 8; ++neighbours) {
            BasicBorderDetection detection(nullptr, 10, neighbours);
            BasicImageProvider provider = ProviderOf({Flat(), WithBlock(Flat(), pixel, 250)});
            cv::Range rows;
            cv::Range cols;
            EXPECT_EQ(StderrOf([&] { EXPECT_FALSE(BorderAccess::FindContent(detection, provider, rows, cols)); }),
                      kNoContentAtPair1)
                << pixel << " " << neighbours;
        }
    }
}

TEST(ContentBox, NeighbourCountsAtCornersEdgesAndInterior)
{
    const cv::Mat changed(4, 5, CV_8UC1, cv::Scalar(255));
    for (int row = 0; row < changed.rows; ++row) {
        for (int col = 0; col < changed.cols; ++col) {
            const bool rowEdge = row == 0 || row == changed.rows - 1;
            const bool colEdge = col == 0 || col == changed.cols - 1;
            const unsigned int count = rowEdge && colEdge ? 3 : (rowEdge || colEdge ? 5 : 8);
            // Content exactly when the count, the pixel itself excluded, exceeds the threshold.
            for (const unsigned int threshold : {count - 1, count}) {
                BasicBorderDetection probe(nullptr, 10, threshold);
                bool isContent = threshold == count;  // the opposite answer, so a missing write shows
                ASSERT_TRUE(BorderAccess::CheckNearestNeighbors(probe, changed, row, col, isContent));
                EXPECT_EQ(isContent, threshold < count) << row << "," << col << " threshold " << threshold;
            }
        }
    }
}

TEST(ContentBox, EachCaptureIsReadOnce)
{
    ReadRecordingProvider provider;
    for (cv::Mat capture : {Flat(), WithBlock(Flat(), cv::Rect(12, 8, 3, 3), 200), Flat(), Flat(90)}) {
        provider.Add(capture);
    }
    BasicBorderDetection detection(nullptr, 10, 2);
    cv::Range rows;
    cv::Range cols;
    ASSERT_TRUE(BorderAccess::FindContent(detection, provider, rows, cols));
    EXPECT_EQ(provider.reads, (std::vector<std::size_t>{0, 0, 1, 2, 3}));  // the size query, then each capture
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
