// The live preview: where scaled captures land, how the canvas grows, and what it refuses.
//
// The captures are 1000 pixels wide, so the preview scales them by exactly 1/4; cut at multiples
// of 4 page rows they scale to the same pixels as the page scaled whole, so the canvas can be
// compared with the scaled page.

#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Preview.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>

namespace ZOLT {
namespace Stitching {
namespace {

const cv::Scalar kBackground(0, 0, 0, 255);

/// The canvas holds `page` scaled down at `where` and the background everywhere else.
bool ShowsOnlyThePage(const cv::Mat& canvas, const cv::Rect& where, const cv::Mat& page)
{
    cv::Mat expected(canvas.size(), CV_8UC4, kBackground);
    cv::resize(page, expected(where), where.size(), 0, 0, cv::INTER_LINEAR);
    return Testing::SamePixels(canvas, expected);
}

TEST(PreviewImage, CapturesLandWhereTheContentMovedAndTheCanvasGrowsByTheOverhang)
{
    const cv::Mat tall = Testing::MakePage(cv::Size(1000, 3200), 21);
    const cv::Mat wide = Testing::MakePage(cv::Size(2400, 800), 22);
    const struct {
        const char* name;
        cv::Size canvas;  // empty: the default preview
        int row;
        int col;
        bool sideways;
        std::vector<int> cuts;  // page rows (or columns) where the captures start
        cv::Size size;
        cv::Rect pageOnCanvas;
        cv::Rect page;
    } cases[] = {
        {"moved down", {}, 0, 0, false, {400, 500}, {750, 750}, {250, 250, 250, 225}, {0, 400, 1000, 900}},
        {"grows at the bottom", {400, 300}, 50, 20, false, {0, 200, 400}, {400, 350}, {20, 50, 250, 300},
         {0, 0, 1000, 1200}},
        {"grows at the top", {400, 300}, 30, 20, false, {400, 200}, {400, 320}, {20, 0, 250, 250},
         {0, 200, 1000, 1000}},
        {"grows at the left", {400, 300}, 20, 30, true, {600, 400}, {420, 300}, {0, 20, 300, 200},
         {400, 0, 1200, 800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreviewImage preview = c.canvas.empty() ? PreviewImage() : PreviewImage(c.canvas, c.row, c.col);
        for (const int cut : c.cuts) {
            const cv::Mat capture = c.sideways ? wide(cv::Rect(cut, 0, 1000, 800)) : tall(cv::Rect(0, cut, 1000, 800));
            ASSERT_EQ(preview.AddCapture(capture.clone()), PreviewImage::Success);
        }
        ASSERT_EQ(preview.GetPreview().size(), c.size);
        EXPECT_TRUE(ShowsOnlyThePage(preview.GetPreview(), c.pageOnCanvas, (c.sideways ? wide : tall)(c.page)));
    }

    // A capture that did not move, or cannot be shown, changes nothing.
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(tall(cv::Rect(0, 400, 1000, 800)).clone()), PreviewImage::Success);
    const cv::Mat canvas = preview.GetPreview();
    EXPECT_EQ(preview.AddCapture(tall(cv::Rect(0, 400, 1000, 800)).clone()), PreviewImage::NoTranslation);
    EXPECT_EQ(preview.AddCapture(cv::Mat(800, 1000, CV_8UC3)), PreviewImage::InvalidCapture);
    EXPECT_EQ(PreviewImage().AddCapture(cv::Mat(1, 1000, CV_8UC4)), PreviewImage::InvalidCapture);  // too flat
    EXPECT_TRUE(Testing::SamePixels(preview.GetPreview(), canvas));
    // A scaled preview fits its box and keeps the aspect ratio.
    EXPECT_EQ(preview.GetPreview(50, 100).size(), cv::Size(50, 50));
    EXPECT_EQ(preview.GetPreview(400, 300).size(), cv::Size(300, 300));

    // A canvas past the largest matrix is refused and left as it was.
    PreviewImage far(cv::Size(10, 10), INT_MAX - 50, 0);
    EXPECT_EQ(far.AddCapture(tall(cv::Rect(0, 0, 1000, 800)).clone()), PreviewImage::ResizeFailed);
    EXPECT_TRUE(Testing::SamePixels(far.GetPreview(), cv::Mat(10, 10, CV_8UC4, kBackground)));
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
