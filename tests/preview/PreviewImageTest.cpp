// Placement, canvas growth, reading and error paths of the live preview.
//
// The captures are cut from a synthetic page at offsets that are multiples of 4 source pixels.
// Their width is 1000, so the preview scales them by exactly 1/4; a cut at a multiple of 4 then
// scales to the same pixels as the page scaled as a whole, which lets the canvas be compared
// with the scaled page.

#include "PreviewAccess.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Preview.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <ostream>
#include <type_traits>

namespace ZOLT {
namespace Stitching {
namespace {

using Access = TestAccess<PreviewImage>;

const cv::Scalar kBackground(0, 0, 0, 255);
constexpr int kScale = 4;

cv::Mat ScaleDown(const cv::Mat& image)
{
    cv::Mat scaled;
    cv::resize(image, scaled, cv::Size(image.cols / kScale, image.rows / kScale), 0, 0, cv::INTER_LINEAR);
    return scaled;
}

double MaxDifference(const cv::Mat& first, const cv::Mat& second)
{
    return cv::norm(first, second, cv::NORM_INF);
}

/// Pixels of `region` in `image` that are not the background colour.
int NonBackgroundPixels(const cv::Mat& image, const cv::Rect& region)
{
    cv::Mat isBackground;
    cv::inRange(image(region), kBackground, kBackground, isBackground);
    return region.area() - cv::countNonZero(isBackground);
}

/// A page whose width is that of the captures (vertical scrolling) or wide (horizontal).
class PreviewImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tallPage_ = new cv::Mat(Testing::MakePage(cv::Size(1000, 3200), 21));
        widePage_ = new cv::Mat(Testing::MakePage(cv::Size(2400, 800), 22));
    }
    static void TearDownTestSuite()
    {
        delete tallPage_;
        delete widePage_;
    }

    /// A capture of 800 rows x 1000 columns (or `rows`) starting at page row `top`.
    static cv::Mat TallCut(int top, int rows = 800) { return (*tallPage_)(cv::Rect(0, top, 1000, rows)).clone(); }
    /// A capture of 800 rows x 1000 columns starting at page column `left`.
    static cv::Mat WideCut(int left) { return (*widePage_)(cv::Rect(left, 0, 1000, 800)).clone(); }

    static cv::Mat* tallPage_;
    static cv::Mat* widePage_;
};

cv::Mat* PreviewImageTest::tallPage_ = nullptr;
cv::Mat* PreviewImageTest::widePage_ = nullptr;

TEST_F(PreviewImageTest, FirstCaptureLandsAtTheInitialPositionOnAnUnchangedCanvas)
{
    PreviewImage preview;
    const cv::Mat capture = TallCut(400);

    ASSERT_EQ(preview.AddCapture(capture), PreviewImage::Success);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(250, 250, 250, 200));
    const cv::Mat canvas = preview.GetPreview();
    ASSERT_EQ(canvas.size(), cv::Size(750, 750));
    ASSERT_EQ(canvas.type(), CV_8UC4);
    const cv::Rect placed(250, 250, 250, 200);
    EXPECT_EQ(MaxDifference(canvas(placed), ScaleDown(capture)), 0.0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 0, 750, 250)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 450, 750, 300)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 250, 250, 200)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(500, 250, 250, 200)), 0);
}

TEST_F(PreviewImageTest, ConstructorTakesTheRowBeforeTheColumn)
{
    PreviewImage preview(cv::Size(600, 400), 10, 30);
    EXPECT_EQ(preview.GetPreview().size(), cv::Size(600, 400));

    ASSERT_EQ(preview.AddCapture(TallCut(0, 400)), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(30, 10, 250, 100));
}

TEST_F(PreviewImageTest, CaptureThatDidNotMoveIsDroppedAndChangesNothing)
{
    PreviewImage preview;
    const cv::Mat capture = TallCut(400);
    ASSERT_EQ(preview.AddCapture(capture), PreviewImage::Success);
    const cv::Mat canvasBefore = preview.GetPreview();
    const cv::Mat lastBefore = Access::LastCapture(preview).clone();

    EXPECT_EQ(preview.AddCapture(capture), PreviewImage::NoTranslation);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(250, 250, 250, 200));
    EXPECT_EQ(MaxDifference(preview.GetPreview(), canvasBefore), 0.0);
    EXPECT_EQ(MaxDifference(Access::LastCapture(preview), lastBefore), 0.0);
}

TEST_F(PreviewImageTest, ContentThatMovedUpPlacesTheCaptureLowerWithinTheCanvas)
{
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::Success);
    ASSERT_EQ(preview.AddCapture(TallCut(500)), PreviewImage::Success);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(250, 275, 250, 200));
    const cv::Mat canvas = preview.GetPreview();
    ASSERT_EQ(canvas.size(), cv::Size(750, 750));
    const cv::Mat expected = ScaleDown((*tallPage_)(cv::Rect(0, 400, 1000, 900)));
    EXPECT_EQ(MaxDifference(canvas(cv::Rect(250, 250, 250, 225)), expected), 0.0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 475, 750, 275)), 0);
}

TEST_F(PreviewImageTest, CanvasGrowsAtTheBottomByExactlyTheOverhang)
{
    PreviewImage preview(cv::Size(400, 300), 50, 20);
    ASSERT_EQ(preview.AddCapture(TallCut(0)), PreviewImage::Success);
    ASSERT_EQ(preview.AddCapture(TallCut(200)), PreviewImage::Success);
    ASSERT_EQ(preview.GetPreview().rows, 300) << "a capture ending on the last row needs no growth";

    // Transparent bottom-left corner: the canvas shows what the growth filled in there.
    cv::Mat third = TallCut(400);
    third(cv::Rect(0, 760, 200, 40)).setTo(cv::Scalar(90, 90, 90, 0));
    ASSERT_EQ(preview.AddCapture(third), PreviewImage::Success);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(20, 150, 250, 200));
    const cv::Mat canvas = preview.GetPreview();
    ASSERT_EQ(canvas.size(), cv::Size(400, 350));
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 342, 68, 8)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(270, 300, 130, 50)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 300, 20, 50)), 0);
    const cv::Mat expected = ScaleDown((*tallPage_)(cv::Rect(0, 0, 1000, 1160)));
    EXPECT_EQ(MaxDifference(canvas(cv::Rect(20, 50, 250, 290)), expected), 0.0);
}

TEST_F(PreviewImageTest, CanvasGrowsAtTheTopAndMovesTheOldContentDown)
{
    PreviewImage preview(cv::Size(400, 300), 30, 20);
    ASSERT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat before = preview.GetPreview();

    ASSERT_EQ(preview.AddCapture(TallCut(200)), PreviewImage::Success);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(20, 0, 250, 200));
    const cv::Mat canvas = preview.GetPreview();
    ASSERT_EQ(canvas.size(), cv::Size(400, 320));
    // The new capture writes only its upper 125 rows; below them is the old canvas, 20 rows lower.
    EXPECT_EQ(MaxDifference(canvas.rowRange(125, 320), before.rowRange(105, 300)), 0.0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 0, 20, 20)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(270, 0, 130, 20)), 0);
    const cv::Mat expected = ScaleDown((*tallPage_)(cv::Rect(0, 200, 1000, 1000)));
    EXPECT_EQ(MaxDifference(canvas(cv::Rect(20, 0, 250, 250)), expected), 0.0);
}

TEST_F(PreviewImageTest, CanvasGrowsAtTheLeftAndMovesTheOldContentRight)
{
    PreviewImage preview(cv::Size(400, 300), 20, 30);
    ASSERT_EQ(preview.AddCapture(WideCut(600)), PreviewImage::Success);
    const cv::Mat before = preview.GetPreview();

    ASSERT_EQ(preview.AddCapture(WideCut(400)), PreviewImage::Success);

    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(0, 20, 250, 200));
    const cv::Mat canvas = preview.GetPreview();
    ASSERT_EQ(canvas.size(), cv::Size(420, 300));
    EXPECT_EQ(MaxDifference(canvas.colRange(150, 420), before.colRange(130, 400)), 0.0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 0, 20, 20)), 0);
    EXPECT_EQ(NonBackgroundPixels(canvas, cv::Rect(0, 220, 20, 80)), 0);
    const cv::Mat expected = ScaleDown((*widePage_)(cv::Rect(400, 0, 1200, 800)));
    EXPECT_EQ(MaxDifference(canvas(cv::Rect(0, 20, 300, 200)), expected), 0.0);
}

TEST_F(PreviewImageTest, CaptureAboveTheTopTakesTheLargerOfShiftedCanvasAndCaptureHeight)
{
    // 100 scaled rows: the shifted canvas (100 + 30) is the taller.
    PreviewImage shorter(cv::Size(100, 100), -30, 0);
    ASSERT_EQ(shorter.AddCapture(TallCut(0, 400)), PreviewImage::Success);
    EXPECT_EQ(shorter.GetPreview().size(), cv::Size(250, 130));
    EXPECT_EQ(Access::Rectangle(shorter), cv::Rect(0, 0, 250, 100));

    // 200 scaled rows: the capture is the taller.
    PreviewImage taller(cv::Size(100, 100), -30, 0);
    ASSERT_EQ(taller.AddCapture(TallCut(0)), PreviewImage::Success);
    EXPECT_EQ(taller.GetPreview().size(), cv::Size(250, 200));
    EXPECT_EQ(Access::Rectangle(taller), cv::Rect(0, 0, 250, 200));
}

TEST_F(PreviewImageTest, CanvasThatCannotBeEnlargedReportsResizeFailedAndKeepsTheCanvas)
{
    // Far beyond any allocation: OpenCV raises while making the canvas.
    PreviewImage unallocatable(cv::Size(10, 10), 2000000000, 2000000000);
    EXPECT_EQ(unallocatable.AddCapture(TallCut(0)), PreviewImage::ResizeFailed);
    EXPECT_EQ(unallocatable.GetPreview().size(), cv::Size(10, 10));
    EXPECT_EQ(NonBackgroundPixels(unallocatable.GetPreview(), cv::Rect(0, 0, 10, 10)), 0);
    EXPECT_TRUE(Access::LastCapture(unallocatable).empty());
    // The series has not started, so the next capture is placed rather than correlated.
    EXPECT_EQ(unallocatable.AddCapture(TallCut(100)), PreviewImage::ResizeFailed);

    // Beyond the extent a matrix can have.
    PreviewImage unrepresentable(cv::Size(10, 10), INT_MAX - 50, 0);
    EXPECT_EQ(unrepresentable.AddCapture(TallCut(0)), PreviewImage::ResizeFailed);
    EXPECT_EQ(unrepresentable.GetPreview().size(), cv::Size(10, 10));
}

TEST_F(PreviewImageTest, InvalidCapturesChangeNothing)
{
    const cv::Mat invalid[] = {
        cv::Mat(),
        cv::Mat(800, 1000, CV_8UC3, cv::Scalar(1, 2, 3)),
        cv::Mat(800, 1000, CV_8UC1, cv::Scalar(7)),
        cv::Mat(800, 1000, CV_16UC4, cv::Scalar(1, 2, 3, 255)),
        cv::Mat(800, 1000, CV_32FC4, cv::Scalar(1, 2, 3, 255)),
    };

    PreviewImage fresh;
    for (const cv::Mat& capture : invalid) {
        EXPECT_EQ(fresh.AddCapture(capture), PreviewImage::InvalidCapture);
    }
    // Too flat to give the series a height of one preview row.
    EXPECT_EQ(fresh.AddCapture(cv::Mat(1, 1000, CV_8UC4, cv::Scalar(1, 2, 3, 255))), PreviewImage::InvalidCapture);
    EXPECT_EQ(Access::Rectangle(fresh), cv::Rect(250, 250, 0, 0));
    EXPECT_TRUE(Access::LastCapture(fresh).empty());
    EXPECT_EQ(NonBackgroundPixels(fresh.GetPreview(), cv::Rect(0, 0, 750, 750)), 0);

    PreviewImage started;
    ASSERT_EQ(started.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat canvasBefore = started.GetPreview();
    for (const cv::Mat& capture : invalid) {
        EXPECT_EQ(started.AddCapture(capture), PreviewImage::InvalidCapture);
    }
    EXPECT_EQ(MaxDifference(started.GetPreview(), canvasBefore), 0.0);
    // Still correlated against the last valid capture.
    ASSERT_EQ(started.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(started), cv::Rect(250, 275, 250, 200));
}

TEST_F(PreviewImageTest, PreviewsAreIndependentCopies)
{
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::Success);
    cv::Mat whole = preview.GetPreview();
    const cv::Mat wholeKept = whole.clone();
    // A canvas that already fits the box comes back at its own size, equal but not shared.
    cv::Mat fitting = preview.GetPreview(750, 750);
    EXPECT_EQ(MaxDifference(fitting, wholeKept), 0.0);

    ASSERT_EQ(preview.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_EQ(MaxDifference(whole, wholeKept), 0.0);

    whole.setTo(cv::Scalar(9, 9, 9, 9));
    fitting.setTo(cv::Scalar(9, 9, 9, 9));
    EXPECT_EQ(NonBackgroundPixels(preview.GetPreview(), cv::Rect(0, 0, 750, 250)), 0);
}

struct BoxCase {
    cv::Size canvas;
    int maxWidth;
    int maxHeight;
    cv::Size expected;
};

void PrintTo(const BoxCase& box, std::ostream* out)
{
    *out << box.canvas << " into " << box.maxWidth << " x " << box.maxHeight;
}

class PreviewBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(PreviewBoxTest, ScaledPreviewFitsTheBoxKeepsTheAspectRatioAndNeverEnlarges)
{
    const BoxCase& box = GetParam();
    PreviewImage preview(box.canvas, 0, 0);

    const cv::Mat scaled = preview.GetPreview(box.maxWidth, box.maxHeight);

    EXPECT_EQ(scaled.size(), box.expected);
    EXPECT_EQ(scaled.type(), CV_8UC4);
}

INSTANTIATE_TEST_SUITE_P(Boxes, PreviewBoxTest,
                         ::testing::Values(BoxCase{cv::Size(750, 1500), 400, 300, cv::Size(150, 300)},
                                           BoxCase{cv::Size(750, 750), 100, 1000, cv::Size(100, 100)},
                                           BoxCase{cv::Size(750, 750), 0, 0, cv::Size(1, 1)},
                                           BoxCase{cv::Size(750, 750), -20, -20, cv::Size(1, 1)},
                                           BoxCase{cv::Size(750, 750), 2000, 2000, cv::Size(750, 750)},
                                           BoxCase{cv::Size(250, 2000), 1000, 1000, cv::Size(125, 1000)},
                                           BoxCase{cv::Size(0, 0), 100, 100, cv::Size(1, 1)}));

static_assert(!std::is_copy_constructible<PreviewImage>::value, "previews are not copied");
static_assert(!std::is_copy_assignable<PreviewImage>::value, "previews are not copied");
static_assert(std::is_nothrow_move_constructible<PreviewImage>::value, "previews move");
static_assert(std::is_nothrow_move_assignable<PreviewImage>::value, "previews move");

/// What a moved-from preview must still do: read, take a new first capture at (0, 0), be destroyed.
void ExpectUsableAfterMove(PreviewImage& movedFrom, const cv::Mat& capture)
{
    EXPECT_TRUE(movedFrom.GetPreview().empty());
    EXPECT_EQ(movedFrom.GetPreview(100, 100).size(), cv::Size(1, 1));
    ASSERT_EQ(movedFrom.AddCapture(capture), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(movedFrom), cv::Rect(0, 0, 250, 200));
    EXPECT_EQ(MaxDifference(movedFrom.GetPreview(), ScaleDown(capture)), 0.0);
}

TEST_F(PreviewImageTest, MoveTransfersTheSeriesAndLeavesAUsablePreview)
{
    PreviewImage source;
    ASSERT_EQ(source.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat canvas = source.GetPreview();

    PreviewImage moved(std::move(source));
    EXPECT_EQ(MaxDifference(moved.GetPreview(), canvas), 0.0);
    // The series goes on: the next capture is correlated against the moved last capture.
    ASSERT_EQ(moved.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(moved), cv::Rect(250, 275, 250, 200));
    ExpectUsableAfterMove(source, TallCut(0));

    PreviewImage assigned(cv::Size(10, 10), 0, 0);
    assigned = std::move(moved);
    EXPECT_EQ(Access::Rectangle(assigned), cv::Rect(250, 275, 250, 200));
    EXPECT_EQ(assigned.AddCapture(TallCut(500)), PreviewImage::NoTranslation);
    ExpectUsableAfterMove(moved, TallCut(800));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
