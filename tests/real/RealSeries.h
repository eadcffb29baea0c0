#pragma once

// A real scrolling series from tests/data/captures with its recorded truth.

#include <ZOLT/Stitching.h>

#include <string>
#include <vector>

namespace ZOLT {
namespace Testing {

struct RealSeries {
    std::vector<cv::Mat> captures;
    std::vector<Stitching::Translation> truth;
    cv::Mat fullPage;
    /// Where the page area lies in each capture (the whole capture for page-only series).
    cv::Rect contentRect;
    /// 0 for a vertical series, 1 for a horizontal one (the detector's direction values).
    int axis = 0;

    /// The stitched size: the capture grown by the total scroll along the axis.
    cv::Size StitchedSize() const;
    BasicImageProvider Provider() const;
};

/// The folder names of the bundled series.
std::vector<std::string> RealSeriesNames();

/// Loads a series by folder name; fails the current test when it cannot.
RealSeries LoadRealSeries(const std::string& name);

}  // namespace Testing
}  // namespace ZOLT
