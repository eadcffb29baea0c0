// Placement, canvas growth, reading and error paths of the live preview.
//
// The captures are cut from synthetic pages at offsets that are multiples of 4 source pixels.
// Their width is 1000, so the preview scales them by exactly 1/4; a cut at a multiple of 4 then
// scales to the same pixels as the page scaled as a whole, which lets the canvas be compared
// with the scaled page.

#include "PreviewAccess.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Preview.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <type_traits>

namespace ZOLT {
namespace Stitching {
namespace {

using Access = TestAccess<PreviewImage>;
using Testing::SamePixels;

const cv::Scalar kBackground(0, 0, 0, 255);

cv::Mat ScaleDown(const cv::Mat& image)
{
    cv::Mat scaled;
    cv::resize(image, scaled, image.size() / 4, 0, 0, cv::INTER_LINEAR);
    return scaled;
}

/// The canvas holds `page` scaled down at `where` and the background everywhere else.
bool ShowsOnlyThePage(const cv::Mat& canvas, const cv::Rect& where, const cv::Mat& page)
{
    cv::Mat expected(canvas.size(), CV_8UC4, kBackground);
    ScaleDown(page).copyTo(expected(where));
    return SamePixels(canvas, expected);
}

class PreviewImageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tall_ = Testing::MakePage(cv::Size(1000, 3200), 21);
        wide_ = Testing::MakePage(cv::Size(2400, 800), 22);
    }
    static void TearDownTestSuite() { tall_ = wide_ = cv::Mat(); }

    /// A capture of 800 rows x 1000 columns (or `rows`) starting at page row `top`.
    static cv::Mat TallCut(int top, int rows = 800) { return tall_(cv::Rect(0, top, 1000, rows)).clone(); }

    static cv::Mat tall_;
    static cv::Mat wide_;
};

cv::Mat PreviewImageTest::tall_;
cv::Mat PreviewImageTest::wide_;

TEST_F(PreviewImageTest, CapturesLandWhereTheContentMovedAndTheCanvasGrowsByTheOverhang)
{
    const struct {
        const char* name;
        cv::Size canvas;  // empty: the default preview
        int row;
        int col;
        bool wide;
        std::vector<int> cuts;  // page rows (or columns) where the captures start
        cv::Rect rectangle;
        cv::Size size;
        cv::Rect pageOnCanvas;
        cv::Rect page;
    } cases[] = {
        {"first capture", {}, 0, 0, false, {400}, {250, 250, 250, 200}, {750, 750}, {250, 250, 250, 200},
         {0, 400, 1000, 800}},
        {"moved up", {}, 0, 0, false, {400, 500}, {250, 275, 250, 200}, {750, 750}, {250, 250, 250, 225},
         {0, 400, 1000, 900}},
        {"row before column", {600, 400}, 10, 30, false, {0}, {30, 10, 250, 200}, {600, 400}, {30, 10, 250, 200},
         {0, 0, 1000, 800}},
        // A capture ending on the last row needs no growth; the next grows the canvas by its overhang.
        {"grows at the bottom", {400, 300}, 50, 20, false, {0, 200, 400}, {20, 150, 250, 200}, {400, 350},
         {20, 50, 250, 300}, {0, 0, 1000, 1200}},
        {"grows at the top", {400, 300}, 30, 20, false, {400, 200}, {20, 0, 250, 200}, {400, 320},
         {20, 0, 250, 250}, {0, 200, 1000, 1000}},
        {"grows at the left", {400, 300}, 20, 30, true, {600, 400}, {0, 20, 250, 200}, {420, 300},
         {0, 20, 300, 200}, {400, 0, 1200, 800}},
        // Above the top: the larger of the shifted canvas and the capture's height.
        {"above the top, taller capture", {100, 100}, -30, 0, false, {0}, {0, 0, 250, 200}, {250, 200}, {0, 0, 250, 200},
         {0, 0, 1000, 800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreviewImage preview = c.canvas.empty() ? PreviewImage() : PreviewImage(c.canvas, c.row, c.col);
        for (const int cut : c.cuts) {
            const cv::Mat capture = c.wide ? wide_(cv::Rect(cut, 0, 1000, 800)).clone() : TallCut(cut);
            ASSERT_EQ(preview.AddCapture(capture), PreviewImage::Success);
        }
        EXPECT_EQ(Access::Rectangle(preview), c.rectangle);
        ASSERT_EQ(preview.GetPreview().size(), c.size);
        EXPECT_TRUE(ShowsOnlyThePage(preview.GetPreview(), c.pageOnCanvas, (c.wide ? wide_ : tall_)(c.page)));
    }
    PreviewImage shorter(cv::Size(100, 100), -30, 0);
    ASSERT_EQ(shorter.AddCapture(TallCut(0, 400)), PreviewImage::Success);
    EXPECT_EQ(shorter.GetPreview().size(), cv::Size(250, 130));
    EXPECT_EQ(Access::Rectangle(shorter), cv::Rect(0, 0, 250, 100));

    // A capture that did not move is dropped and changes nothing.
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat canvas = preview.GetPreview();
    EXPECT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::NoTranslation);
    EXPECT_EQ(Access::Rectangle(preview), cv::Rect(250, 250, 250, 200));
    EXPECT_TRUE(SamePixels(preview.GetPreview(), canvas));
}

TEST_F(PreviewImageTest, CanvasThatCannotBeEnlargedReportsResizeFailedAndKeepsTheCanvas)
{
    // Far beyond any allocation (OpenCV raises while making the canvas), and beyond the extent a
    // matrix can have.
    for (const int row : {2000000000, INT_MAX - 50}) {
        PreviewImage preview(cv::Size(10, 10), row, row == INT_MAX - 50 ? 0 : row);
        EXPECT_EQ(preview.AddCapture(TallCut(0)), PreviewImage::ResizeFailed);
        EXPECT_TRUE(SamePixels(preview.GetPreview(), cv::Mat(10, 10, CV_8UC4, kBackground)));
        EXPECT_TRUE(Access::LastCapture(preview).empty());
        // The series has not started, so the next capture is placed rather than correlated.
        EXPECT_EQ(preview.AddCapture(TallCut(100)), PreviewImage::ResizeFailed);
    }
}

TEST_F(PreviewImageTest, InvalidCapturesChangeNothing)
{
    const cv::Mat invalid[] = {
        cv::Mat(), cv::Mat(800, 1000, CV_8UC3, cv::Scalar(1, 2, 3)), cv::Mat(800, 1000, CV_8UC1, cv::Scalar(7)),
        cv::Mat(800, 1000, CV_16UC4, cv::Scalar(1, 2, 3, 255)), cv::Mat(800, 1000, CV_32FC4, cv::Scalar(1, 2, 3, 255))};
    PreviewImage fresh;
    PreviewImage started;
    ASSERT_EQ(started.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat canvas = started.GetPreview();
    for (const cv::Mat& capture : invalid) {
        EXPECT_EQ(fresh.AddCapture(capture), PreviewImage::InvalidCapture);
        EXPECT_EQ(started.AddCapture(capture), PreviewImage::InvalidCapture);
    }
    // Too flat to give the series a height of one preview row.
    EXPECT_EQ(fresh.AddCapture(cv::Mat(1, 1000, CV_8UC4, cv::Scalar(1, 2, 3, 255))), PreviewImage::InvalidCapture);
    EXPECT_EQ(Access::Rectangle(fresh), cv::Rect(250, 250, 0, 0));
    EXPECT_TRUE(Access::LastCapture(fresh).empty());
    EXPECT_TRUE(SamePixels(fresh.GetPreview(), cv::Mat(750, 750, CV_8UC4, kBackground)));
    EXPECT_TRUE(SamePixels(started.GetPreview(), canvas));
    // Still correlated against the last valid capture.
    ASSERT_EQ(started.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(started), cv::Rect(250, 275, 250, 200));
}

TEST_F(PreviewImageTest, PreviewsAreIndependentCopiesScaledToFitTheBox)
{
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(TallCut(400)), PreviewImage::Success);
    cv::Mat whole = preview.GetPreview();
    const cv::Mat kept = whole.clone();
    // A canvas that already fits the box comes back at its own size, equal but not shared.
    cv::Mat fitting = preview.GetPreview(750, 750);
    EXPECT_TRUE(SamePixels(fitting, kept));
    ASSERT_EQ(preview.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_TRUE(SamePixels(whole, kept));
    whole.setTo(cv::Scalar::all(9));
    fitting.setTo(cv::Scalar::all(9));
    EXPECT_TRUE(SamePixels(preview.GetPreview()(cv::Rect(0, 0, 750, 250)), cv::Mat(250, 750, CV_8UC4, kBackground)));

    // The scaled preview fits the box, keeps the aspect ratio and never enlarges.
    const struct {
        cv::Size canvas;
        int maxWidth;
        int maxHeight;
        cv::Size expected;
    } boxes[] = {{{750, 1500}, 400, 300, {150, 300}},   {{750, 750}, 100, 1000, {100, 100}},
                 {{750, 750}, 0, 0, {1, 1}},            {{750, 750}, -20, -20, {1, 1}},
                 {{750, 750}, 2000, 2000, {750, 750}},  {{250, 2000}, 1000, 1000, {125, 1000}},
                 {{0, 0}, 100, 100, {1, 1}}};
    for (const auto& box : boxes) {
        PreviewImage empty(box.canvas, 0, 0);
        const cv::Mat scaled = empty.GetPreview(box.maxWidth, box.maxHeight);
        EXPECT_EQ(scaled.size(), box.expected) << box.canvas << " into " << box.maxWidth << " x " << box.maxHeight;
        EXPECT_EQ(scaled.type(), CV_8UC4);
    }
}

static_assert(!std::is_copy_constructible<PreviewImage>::value && !std::is_copy_assignable<PreviewImage>::value,
              "previews are not copied");
static_assert(std::is_nothrow_move_constructible<PreviewImage>::value &&
                  std::is_nothrow_move_assignable<PreviewImage>::value,
              "previews move");

/// What a moved-from preview must still do: read, take a new first capture at (0, 0), be destroyed.
void ExpectUsableAfterMove(PreviewImage& movedFrom, const cv::Mat& capture)
{
    EXPECT_TRUE(movedFrom.GetPreview().empty());
    EXPECT_EQ(movedFrom.GetPreview(100, 100).size(), cv::Size(1, 1));
    ASSERT_EQ(movedFrom.AddCapture(capture), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(movedFrom), cv::Rect(0, 0, 250, 200));
    EXPECT_TRUE(SamePixels(movedFrom.GetPreview(), ScaleDown(capture)));
}

TEST_F(PreviewImageTest, MoveTransfersTheSeriesAndLeavesAUsablePreview)
{
    PreviewImage source;
    ASSERT_EQ(source.AddCapture(TallCut(400)), PreviewImage::Success);
    const cv::Mat canvas = source.GetPreview();
    PreviewImage moved(std::move(source));
    EXPECT_TRUE(SamePixels(moved.GetPreview(), canvas));
    // The series goes on: the next capture is correlated against the moved last capture.
    ASSERT_EQ(moved.AddCapture(TallCut(500)), PreviewImage::Success);
    EXPECT_EQ(Access::Rectangle(moved), cv::Rect(250, 275, 250, 200));
    ExpectUsableAfterMove(source, TallCut(0));

    PreviewImage assigned(cv::Size(10, 10), 0, 0);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.AddCapture(TallCut(500)), PreviewImage::NoTranslation);
    ExpectUsableAfterMove(moved, TallCut(800));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
