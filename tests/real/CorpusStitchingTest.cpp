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

const std::vector<std::string> kCorpus = {
    "classic-mpmath-horizontal-480x640",
    "docbook-pam-interfaces-800x600",
    "docbook-postgresql-select-windowed-1920x1080",
    "doxygen-jsoncpp-value-windowed-1280x800",
    "furo-structlog-config-up-1440x900",
    "furo-structlog-start-1280x800",
    "gidocgen-pango-matrix-dark-1024x768",
    "go-memorymodel-800x600",
    "gtkdoc-glib-timers-up-800x600",
    "material-literatenav-sample-1024x768",
    "material-literatenav-sample-1280x800",
    "material-literatenav-sticky-1280x800",
    "material-literatenav-windowed-up-1024x768",
    "mdbook-ownership-up-1280x800",
    "pydata-mpltheme-pushed-1280x800",
    "pydata-mpltheme-pushed-up-1024x768",
    "rtd-tornado-httpclient-windowed-1280x900",
    "rustdoc-cell-module-dpr2-720x450",
    "rustdoc-std-index-dark-1024x768",
    "sphinx13-quickstart-1920x1080",
    "texinfo-libffi-basics-1024x768",
};

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

TEST(Corpus, TableListsEveryFolder)
{
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(ZOLT_TEST_DATA_DIR) + "/corpus")) {
        if (entry.is_directory()) {
            folders.push_back(entry.path().filename().string());
        }
    }
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, kCorpus);
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
    cv::Mat result;
    EXPECT_EQ(ExactPairs(StitchedSteps(provider, result), series.truth), series.truth.size())
        << name << ": exact pairs of " << series.truth.size() << " on JPEG quality 80";
}

std::string SeriesName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Documentation, CorpusStitching, ::testing::ValuesIn(kCorpus), SeriesName);

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
