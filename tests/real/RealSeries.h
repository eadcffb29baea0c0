// A recorded browser scrolling series (tests/data/captures, rig, corpus): the captures, the true
// translations, the page's own full render and where the page lies in a capture.
#pragma once

#include <ZOLT/Stitching.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace ZOLT {
namespace Stitching {

struct RealSeries {
    std::vector<cv::Mat> captures;
    std::vector<Translation> truth;
    cv::Mat fullPage;
    cv::Rect pageArea;  // where the page lies in each capture

    /// A store of copies of the captures, which a stitch may change.
    BasicImageProvider Provider() const
    {
        BasicImageProvider provider;
        for (const cv::Mat& capture : captures) {
            cv::Mat own = capture.clone();
            provider.Add(own);
        }
        return provider;
    }
};

/// The series in folder `name` under the test data.
inline RealSeries LoadRealSeries(const std::string& name)
{
    const std::string folder = std::string(ZOLT_TEST_DATA_DIR) + "/" + name + "/";
    // OpenCV's JSON reader has no null: page-only series say "frame": null, read as 0.
    std::stringstream text;
    text << std::ifstream(folder + "truth.json").rdbuf();
    const cv::FileStorage truth(std::regex_replace(text.str(), std::regex(R"(\bnull\b)"), "0"),
                                cv::FileStorage::READ | cv::FileStorage::MEMORY | cv::FileStorage::FORMAT_JSON);
    RealSeries series;
    for (const cv::FileNode& file : truth["files"]) {
        series.captures.push_back(cv::imread(folder + static_cast<std::string>(file), cv::IMREAD_UNCHANGED));
    }
    for (const cv::FileNode& step : truth["translations"]) {
        series.truth.emplace_back(static_cast<int>(step["rows"]), static_cast<int>(step["cols"]));
    }
    series.fullPage = cv::imread(folder + "fullpage.png", cv::IMREAD_UNCHANGED);
    series.pageArea = cv::Rect(cv::Point(), series.captures.at(0).size());
    if (truth["frame"].isMap()) {
        const cv::FileNode area = truth["frame"]["content_rect"];
        series.pageArea = cv::Rect(area["x"], area["y"], area["width"], area["height"]);
    }
    return series;
}

/// The share of the full page's pixels that `page` reproduces exactly.
inline double IdenticalShare(const cv::Mat& page, const cv::Mat& fullPage)
{
    cv::Mat difference;
    cv::absdiff(page, fullPage, difference);
    cv::Mat grey;
    cv::transform(difference, grey, cv::Matx<float, 1, 4>(1, 1, 1, 1));
    return static_cast<double>(cv::countNonZero(grey == 0)) / static_cast<double>(grey.total());
}

/// The captures as JPEG files of the given quality would give them back, as four-channel images.
inline BasicImageProvider JpegProvider(const RealSeries& series, int quality)
{
    BasicImageProvider provider;
    for (const cv::Mat& capture : series.captures) {
        std::vector<unsigned char> jpeg;
        cv::imencode(".jpg", capture, jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
        cv::Mat decoded;
        // As the tool hands captures over: red, green, blue, alpha.
        cv::cvtColor(cv::imdecode(jpeg, cv::IMREAD_COLOR), decoded, cv::COLOR_BGR2RGBA);
        provider.Add(decoded);
    }
    return provider;
}

}  // namespace Stitching
}  // namespace ZOLT
