#include "RealSeries.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <regex>
#include <sstream>

namespace ZOLT {
namespace Testing {

std::vector<std::string> RealSeriesNames()
{
    return {"zlib-howto-tail-1280x800", "expat-reference-windowed-1280x900", "libxslt-internals-horizontal-480x640"};
}

RealSeries LoadRealSeries(const std::string& name)
{
    const std::string folder = std::string(ZOLT_REAL_CAPTURES_DIR) + "/" + name + "/";
    // OpenCV's JSON reader has no null: the page-only series say "frame": null, read it as 0.
    std::stringstream text;
    text << std::ifstream(folder + "truth.json").rdbuf();
    const cv::FileStorage truth(std::regex_replace(text.str(), std::regex(R"(\bnull\b)"), "0"),
                                cv::FileStorage::READ | cv::FileStorage::MEMORY | cv::FileStorage::FORMAT_JSON);
    RealSeries series;
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
    EXPECT_EQ(series.truth.size() + 1, series.captures.size());
    series.fullPage = cv::imread(folder + "fullpage.png", cv::IMREAD_UNCHANGED);
    const cv::FileNode frame = truth["frame"];
    if (frame.isMap()) {
        const cv::FileNode content = frame["content_rect"];
        series.contentRect = cv::Rect(static_cast<int>(content["x"]), static_cast<int>(content["y"]),
                                      static_cast<int>(content["width"]), static_cast<int>(content["height"]));
    } else if (!series.captures.empty()) {
        series.contentRect = cv::Rect(cv::Point(0, 0), series.captures.front().size());
    }
    series.axis = static_cast<std::string>(truth["kind"]).rfind("horizontal", 0) == 0 ? 1 : 0;
    return series;
}

cv::Size RealSeries::StitchedSize() const
{
    cv::Size size = captures.front().size();
    for (const Stitching::Translation& step : truth) {
        (axis == 0 ? size.height : size.width) -= axis == 0 ? step.GetRows() : step.GetCols();
    }
    return size;
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
