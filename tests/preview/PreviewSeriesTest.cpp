// A whole scrolling series fed to the preview one capture at a time, against the scrolled page.

#include "PreviewAccess.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Preview.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace ZOLT {
namespace Stitching {
namespace {

TEST(PreviewSeries, PreviewOfAScrollingSeriesIsTheScrolledPageScaled)
{
    // 1000-column captures are scaled by exactly 1/4; steps are multiples of 4 source rows, so
    // every translation is exact in scaled pixels too. Mostly downward, with a capture that did
    // not move and one step back up.
    std::vector<cv::Point> steps;
    for (const int step : {120, 160, 200, 0, 120, 240, 80, -160, 200, 280, 120, 160, 200, 120}) {
        steps.emplace_back(0, step);
    }
    const Testing::CaptureSeries series = Testing::CutSeries(Testing::MakePage(cv::Size(1000, 2600), 31),
                                                             cv::Size(1000, 600), Testing::OffsetsFromSteps({0, 0}, steps));
    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(series.captures[0]), PreviewImage::Success);
    cv::Point origin = TestAccess<PreviewImage>::Rectangle(preview).tl();
    int highest = origin.y;
    for (std::size_t index = 1; index < series.captures.size(); ++index) {
        const cv::Point moved = series.offsets[index] - series.offsets[index - 1];
        ASSERT_EQ(preview.AddCapture(series.captures[index]),
                  moved == cv::Point() ? PreviewImage::NoTranslation : PreviewImage::Success)
            << "capture " << index;
        // Placement follows the true translation in scaled pixels; the canvas grows only downward.
        origin += moved / 4;
        ASSERT_EQ(TestAccess<PreviewImage>::Rectangle(preview).tl(), origin) << "capture " << index;
        highest = std::min(highest, origin.y);
    }

    cv::Mat scaledPage;
    const cv::Mat page = series.CoveredPage();
    cv::resize(page, scaledPage, page.size() / 4, 0, 0, cv::INTER_LINEAR);
    const cv::Mat canvas = preview.GetPreview();
    const cv::Rect pageOnCanvas(cv::Point(origin.x, highest), scaledPage.size());
    ASSERT_EQ(canvas.size(), cv::Size(750, pageOnCanvas.br().y));
    // Each scaled capture samples the page at the same positions as the page scaled whole, so
    // only the rounding of the resampling may differ.
    cv::Mat difference;
    cv::absdiff(canvas(pageOnCanvas), scaledPage, difference);
    EXPECT_LE(cv::norm(difference, cv::NORM_INF), 2.0);
    EXPECT_LT(cv::mean(difference.reshape(1, 0))[0], 0.1);
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
