// A whole scrolling series fed to the preview one capture at a time, against the stitched page.

#include "PreviewAccess.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Detection.h>
#include <ZOLT/Preview.h>
#include <ZOLT/Providers.h>
#include <ZOLT/Stitchers.h>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>
#include <vector>

namespace ZOLT {
namespace Stitching {
namespace {

using Access = TestAccess<PreviewImage>;

// 1000-column captures are scaled by exactly 1/4; steps are multiples of 4 source rows, so every
// translation is exact in scaled pixels too.
constexpr int kScale = 4;

Testing::CaptureSeries FifteenCaptures()
{
    // Mostly downward, with a capture that did not move and one step back up.
    const std::vector<int> steps = {120, 160, 200, 0, 120, 240, 80, -160, 200, 280, 120, 160, 200, 120};
    std::vector<cv::Point> moves;
    for (const int step : steps) {
        moves.emplace_back(0, step);
    }
    const cv::Mat page = Testing::MakePage(cv::Size(1000, 2600), 31);
    return Testing::CutSeries(page, cv::Size(1000, 600), Testing::OffsetsFromSteps(cv::Point(0, 0), moves));
}

cv::Mat StitchedPage(const Testing::CaptureSeries& series, std::vector<Translation>& translations)
{
    BasicImageProvider provider;
    for (cv::Mat capture : Testing::DeepCopies(series.captures)) {
        provider.Add(capture);
    }
    BasicStitcher stitcher(std::make_shared<PhaseCorrelationTranslationDetector>(StitcherParameters()),
                           StitcherParameters());
    cv::Mat stitched;
    if (!stitcher.Stitch(provider, stitched, nullptr, 0, 100, false)) {
        return cv::Mat();
    }
    translations = stitcher.GetTranslations();
    return stitched;
}

TEST(PreviewSeriesTest, PreviewOfAScrollingSeriesIsTheStitchedPageScaled)
{
    const Testing::CaptureSeries series = FifteenCaptures();
    const std::vector<Translation> truth = series.Translations();

    PreviewImage preview;
    ASSERT_EQ(preview.AddCapture(series.captures[0]), PreviewImage::Success);
    cv::Point origin = Access::Rectangle(preview).tl();
    cv::Point highest = origin;
    for (std::size_t index = 1; index < series.captures.size(); ++index) {
        const Translation& moved = truth[index - 1];
        const PreviewImage::PreviewErrorCode expected =
            moved == Translation(0, 0) ? PreviewImage::NoTranslation : PreviewImage::Success;
        ASSERT_EQ(preview.AddCapture(series.captures[index]), expected) << "capture " << index;

        // Placement follows the true translation in scaled pixels; the canvas grows only downward.
        const cv::Point placed = Access::Rectangle(preview).tl();
        const cv::Point expectedPlace(origin.x - moved.GetCols() / kScale, origin.y - moved.GetRows() / kScale);
        ASSERT_EQ(placed, expectedPlace) << "capture " << index;
        origin = placed;
        highest.y = std::min(highest.y, placed.y);
    }

    std::vector<Translation> stitchedTranslations;
    const cv::Mat stitched = StitchedPage(series, stitchedTranslations);
    ASSERT_FALSE(stitched.empty());
    ASSERT_EQ(stitchedTranslations, truth);
    ASSERT_EQ(stitched.size(), series.CoveredPageRect().size());

    cv::Mat scaledPage;
    cv::resize(stitched, scaledPage, cv::Size(stitched.cols / kScale, stitched.rows / kScale), 0, 0,
               cv::INTER_LINEAR);
    const cv::Mat canvas = preview.GetPreview();
    const cv::Rect pageOnCanvas(highest, scaledPage.size());
    ASSERT_EQ(canvas.size(), cv::Size(750, pageOnCanvas.y + pageOnCanvas.height));

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
