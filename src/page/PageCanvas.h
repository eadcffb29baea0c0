#pragma once

// The result of a page stitch, composed pixel by pixel from the best source.

#include <opencv2/core.hpp>

#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

/// A pixel's cost as the source of a page pixel: lower is better, this means not at all.
constexpr unsigned char kNeverSource = 255;

/// Where everything goes: the scrolling area of the captures becomes one long page, the frame
/// around it is kept once.
class PageLayout {
public:
    /// `positions[k]` is capture k's scroll position in page pixels (capture 0 at (0, 0)).
    PageLayout(const cv::Size& captureSize, const cv::Rect& pageBox, const std::vector<cv::Point>& positions);

    cv::Size OutputSize() const { return output_; }
    /// The page, in output coordinates.
    cv::Rect PageArea() const { return pageArea_; }
    /// The scrolling area, in capture coordinates.
    cv::Rect PageBox() const { return pageBox_; }
    /// 0 when the series scrolled mostly along rows, 1 along columns.
    int MainAxis() const { return mainAxis_; }
    /// Where capture k's pixel (0, 0) lies in the output.
    cv::Point Offset(std::size_t index) const { return offsets_[index]; }
    /// The capture at the low end of the main axis (top or left of the page) and the high end.
    std::size_t LowCapture() const { return low_; }
    std::size_t HighCapture() const { return high_; }

private:
    cv::Size capture_;
    cv::Rect pageBox_;
    std::vector<cv::Point> offsets_;
    int mainAxis_ = 0;
    std::size_t low_ = 0;
    std::size_t high_ = 0;
    cv::Rect pageArea_;
    cv::Size output_;
};

/// The output image under construction, with the preference of the source of every pixel.
class PageCanvas {
public:
    PageCanvas(const PageLayout& layout, int type);

    /// The frame of the capture at one end of the series: the bands before the page along the
    /// main axis and beside it from the low capture, the bands after it from the high capture.
    void AddFrame(const cv::Mat& capture, std::size_t index);
    /// Capture `index`'s scrolling area wherever its source costs (see kNeverSource) are lower
    /// than those of what is there: with equal costs, what came first stays.
    void AddPage(const cv::Mat& capture, const cv::Mat& costs, std::size_t index);
    /// Fills what no capture showed and hands over the finished, opaque image.
    cv::Mat Finish();

private:
    void CopyFrameBand(const cv::Mat& capture, std::size_t index, const cv::Rect& band);
    void FillFrameBands(const cv::Mat& lowCapture);
    void FillAlongMainAxis();

    const PageLayout& layout_;
    cv::Mat image_;
    /// Per output pixel: the cost of its source, kNeverSource while none.
    cv::Mat cost_;
    cv::Mat lowFrame_;
};

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
