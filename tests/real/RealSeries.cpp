#include "RealSeries.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <regex>
#include <sstream>

namespace ZOLT {
namespace Testing {

namespace {

const std::string kDataDir = ZOLT_REAL_CAPTURES_DIR;

std::vector<int> ReadInts(const cv::FileNode& node)
{
    std::vector<int> values;
    for (const cv::FileNode& item : node) {
        values.push_back(static_cast<int>(item));
    }
    return values;
}

/// OpenCV's JSON reader has no null: the page-only series say "frame": null, read it as 0.
std::string ReadTruthText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return std::regex_replace(text.str(), std::regex(R"(\bnull\b)"), "0");
}

}  // namespace

std::vector<std::string> RealSeriesNames()
{
    return {"zlib-howto-tail-1280x800", "expat-reference-windowed-1280x900", "libxslt-internals-horizontal-480x640"};
}

RealSeries LoadRealSeries(const std::string& name)
{
    RealSeries series;
    series.name = name;
    const std::string folder = kDataDir + "/" + name + "/";
    const cv::FileStorage truth(ReadTruthText(folder + "truth.json"),
                                cv::FileStorage::READ | cv::FileStorage::MEMORY | cv::FileStorage::FORMAT_JSON);
    EXPECT_TRUE(truth.isOpened()) << folder;
    if (!truth.isOpened()) {
        return series;
    }

    for (const cv::FileNode& file : truth["files"]) {
        series.captures.push_back(cv::imread(folder + static_cast<std::string>(file), cv::IMREAD_UNCHANGED));
        EXPECT_EQ(series.captures.back().type(), CV_8UC4) << static_cast<std::string>(file);
    }
    for (const cv::FileNode& step : truth["translations"]) {
        series.truth.emplace_back(static_cast<int>(step["rows"]), static_cast<int>(step["cols"]));
    }
    const std::vector<int> scrollX = ReadInts(truth["scrollX"]);
    const std::vector<int> scrollY = ReadInts(truth["scrollY"]);
    for (std::size_t i = 0; i < scrollX.size() && i < scrollY.size(); ++i) {
        series.scroll.emplace_back(scrollX[i], scrollY[i]);
    }
    const cv::FileNode fullPage = truth["fullpage"];
    series.pageOrigin = cv::Point(static_cast<int>(fullPage["page_x0"]), static_cast<int>(fullPage["page_y0"]));
    series.fullPage = cv::imread(folder + "fullpage.png", cv::IMREAD_UNCHANGED);

    const cv::FileNode frame = truth["frame"];
    series.windowed = frame.isMap();
    if (series.windowed) {
        const cv::FileNode content = frame["content_rect"];
        series.contentRect = cv::Rect(static_cast<int>(content["x"]), static_cast<int>(content["y"]),
                                      static_cast<int>(content["width"]), static_cast<int>(content["height"]));
    } else if (!series.captures.empty()) {
        series.contentRect = cv::Rect(cv::Point(0, 0), series.captures.front().size());
    }
    series.axis = static_cast<std::string>(truth["kind"]).rfind("horizontal", 0) == 0 ? 1 : 0;
    EXPECT_EQ(series.truth.size() + 1, series.captures.size());
    return series;
}

int RealSeries::StitchedLength() const
{
    const cv::Size size = captures.front().size();
    int scrolled = 0;
    for (const Stitching::Translation& step : truth) {
        scrolled += axis == 0 ? -step.GetRows() : -step.GetCols();
    }
    return (axis == 0 ? size.height : size.width) + scrolled;
}

BasicImageProvider RealSeries::Provider() const
{
    BasicImageProvider provider;
    for (const cv::Mat& capture : captures) {
        cv::Mat own = capture.clone();
        provider.Add(own);
    }
    return provider;
}

}  // namespace Testing
}  // namespace ZOLT
