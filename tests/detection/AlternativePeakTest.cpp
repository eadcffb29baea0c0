#include "DetectorAccess.h"
#include "RecordingListener.h"
#include "SyntheticCaptures.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdlib>

using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::PhaseCorrelationTranslationDetector;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;
using ZOLT::Testing::RecordingListener;
using TestAccess = ZOLT::Stitching::TestAccess<PhaseCorrelationTranslationDetector>;

namespace {

cv::Mat Window(const cv::Mat& page, double dy)
{
    // A window moved by a fraction of a row blends two neighbouring shifts.
    const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, 0, 0, 1, -dy);
    cv::Mat moved;
    cv::warpAffine(page, moved, shift, page.size(), cv::INTER_LINEAR);
    return moved(cv::Rect(40, 100, 256, 192)).clone();
}

}  // namespace

TEST(AlternativePeak, AClearPeakHasNoAlternativeAndTheSamePrimary)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(400, 600), 8);
    const cv::Mat first = Window(page, 0);
    const cv::Mat second = Window(page, 23);
    PhaseCorrelationTranslationDetector detector{StitcherParameters()};

    Translation alternative(99, 99);
    const Translation primary = TestAccess::DetectWithAlternative(detector, first, second, alternative, nullptr);
    EXPECT_EQ(primary, Translation(-23, 0));
    EXPECT_EQ(primary, detector.DetectTranslation(first, second, nullptr));
    EXPECT_EQ(alternative, primary);
}

TEST(AlternativePeak, ASplitPeakOffersTheNeighbouringShift)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(400, 600), 8);
    const cv::Mat first = Window(page, 0);
    const cv::Mat second = Window(page, 10.5);
    PhaseCorrelationTranslationDetector detector{StitcherParameters()};

    Translation alternative;
    const Translation primary = TestAccess::DetectWithAlternative(detector, first, second, alternative, nullptr);
    EXPECT_TRUE(primary == Translation(-10, 0) || primary == Translation(-11, 0)) << primary.GetRows();
    EXPECT_EQ(alternative.GetCols(), 0);
    EXPECT_EQ(std::abs(alternative.GetRows() - primary.GetRows()), 1);
}

TEST(AlternativePeak, WarnsOnceForAWeakPrimaryPeak)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(400, 600), 8);
    StitcherParameters demanding;
    demanding.minimumPeakValue = 1e30;
    PhaseCorrelationTranslationDetector detector(demanding);
    RecordingListener listener;
    Translation alternative;
    TestAccess::DetectWithAlternative(detector, Window(page, 0), Window(page, 10.5), alternative, &listener);
    EXPECT_EQ(listener.Warnings(), std::vector<IStitcherListener::StitcherWarningCodes>{IStitcherListener::WeakCorrelation});
}
