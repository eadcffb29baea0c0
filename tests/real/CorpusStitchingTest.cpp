// The page stitcher, with its default parameters on two threads, on every series of the corpus of
// real documentation pages (tests/data/corpus): exact steps, the page's own full render
// reproduced, nothing transparent; and exact steps on JPEG copies of the captures.

#include "RealSeries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace ZOLT {
namespace Stitching {
namespace {

/// Every series folder of the corpus, in name order: a series added there is tested.
std::vector<std::string> CorpusSeries()
{
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(ZOLT_TEST_DATA_DIR) + "/corpus")) {
        if (entry.is_directory()) {
            folders.push_back(entry.path().filename().string());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

/// How many of the measured steps equal the recorded ones.
std::size_t ExactPairs(const std::vector<Translation>& measured, const std::vector<Translation>& truth)
{
    std::size_t exact = 0;
    for (std::size_t k = 0; k < std::min(measured.size(), truth.size()); ++k) {
        exact += measured[k] == truth[k] ? 1 : 0;
    }
    return exact;
}

std::vector<Translation> StitchedSteps(BasicImageProvider& provider, cv::Mat& result)
{
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    PageStitcher stitcher(parameters);
    EXPECT_TRUE(stitcher.Stitch(provider, result, nullptr, 0, 100, true));
    return stitcher.GetTranslations();
}

class CorpusStitching : public ::testing::TestWithParam<std::string> {};

// The page sits below and beside the window frame as in a capture (the topmost capture's page
// area for an upward series: the frame stays at the top of the result).
TEST_P(CorpusStitching, LooksLikeThePageItself)
{
    const std::string name = "corpus/" + GetParam();
    const RealSeries series = LoadRealSeries(name);
    BasicImageProvider provider = series.Provider();
    cv::Mat result;
    const std::vector<Translation> steps = StitchedSteps(provider, result);
    EXPECT_EQ(ExactPairs(steps, series.truth), series.truth.size())
        << name << ": exact pairs of " << series.truth.size();
    const cv::Size frame = series.captures[0].size() - series.pageArea.size();
    ASSERT_EQ(result.size() - frame, series.fullPage.size()) << name << ": stitched size";
    const double share = IdenticalShare(result(cv::Rect(series.pageArea.tl(), series.fullPage.size())), series.fullPage);
    EXPECT_GE(share, 0.99) << name << ": share of the page reproduced exactly";
    cv::Mat alpha;
    cv::extractChannel(result, alpha, 3);
    EXPECT_EQ(cv::countNonZero(alpha != 255), 0) << name << ": transparent pixels";
}

// JPEG at quality 80 blurs every edge a little; the steps must still come out exact.
TEST_P(CorpusStitching, MeasuresJpegCapturesExactly)
{
    const std::string name = "corpus/" + GetParam();
    const RealSeries series = LoadRealSeries(name);
    BasicImageProvider provider = JpegProvider(series, 80);
    // Measuring is all that JPEG noise can upset: the session measures without composing.
    StitcherParameters parameters;
    parameters.maxThreads = 2;
    PageStitchSession session(parameters, provider);
    ASSERT_TRUE(session.Update(nullptr, 0, 100));
    EXPECT_EQ(ExactPairs(session.GetTranslations(), series.truth), series.truth.size())
        << name << ": exact pairs of " << series.truth.size() << " on JPEG quality 80";
}

std::string SeriesName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Documentation, CorpusStitching, ::testing::ValuesIn(CorpusSeries()), SeriesName);

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
