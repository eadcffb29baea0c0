#pragma once

// A real scrolling series from tests/data/captures with its recorded truth.

#include <ZOLT/Stitching.h>

#include <string>
#include <vector>

namespace ZOLT {
namespace Testing {

struct RealSeries {
    std::string name;
    std::vector<cv::Mat> captures;
    std::vector<Stitching::Translation> truth;
    cv::Mat fullPage;
    /// Page origin of fullpage.png and the scroll offsets of every capture.
    cv::Point pageOrigin;
    std::vector<cv::Point> scroll;
    /// Where the page area lies in each capture (the whole capture for page-only series).
    cv::Rect contentRect;
    bool windowed = false;
    /// 0 for a vertical series, 1 for a horizontal one (the detector's direction values).
    int axis = 0;

    /// Capture length along the axis plus the total scroll: the stitched length.
    int StitchedLength() const;
    BasicImageProvider Provider() const;
};

/// The folder names of the bundled series.
std::vector<std::string> RealSeriesNames();

/// Loads a series by folder name; fails the current test when it cannot.
RealSeries LoadRealSeries(const std::string& name);

}  // namespace Testing
}  // namespace ZOLT
