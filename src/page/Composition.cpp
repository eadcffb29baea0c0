// Composition: each capture ranked in page order, its costs kept until the canvas is made.

#include "page/Composition.h"

#include <algorithm>
#include <cstdint>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

int Along(const cv::Point& point, int axis)
{
    return axis == 0 ? point.y : point.x;
}

/// Runs of equal bytes, row by row: (value, length) pairs, lengths below 256.
std::vector<unsigned char> PackRuns(const cv::Mat& costs)
{
    std::vector<unsigned char> packed;
    for (int y = 0; y < costs.rows; ++y) {
        const unsigned char* row = costs.ptr<unsigned char>(y);
        for (int x = 0; x < costs.cols;) {
            int end = x + 1;
            while (end < costs.cols && end - x < 255 && row[end] == row[x]) {
                ++end;
            }
            packed.push_back(row[x]);
            packed.push_back(static_cast<unsigned char>(end - x));
            x = end;
        }
    }
    return packed;
}

cv::Mat UnpackRuns(const std::vector<unsigned char>& packed, const cv::Size& size)
{
    cv::Mat costs(size, CV_8U);
    unsigned char* out = costs.ptr<unsigned char>();
    for (std::size_t i = 0; i + 1 < packed.size(); i += 2) {
        out = std::fill_n(out, packed[i + 1], packed[i]);
    }
    return costs;
}

}  // namespace

bool InPageOrder(const std::vector<cv::Point>& positions)
{
    if (positions.size() < 2) {
        return true;
    }
    const cv::Point span = positions.back() - positions.front();
    const int axis = std::abs(span.y) >= std::abs(span.x) ? 0 : 1;
    for (std::size_t k = 1; k < positions.size(); ++k) {
        if (Along(positions[k], axis) <= Along(positions[k - 1], axis)) {
            return false;
        }
    }
    return true;
}

Composition::Composition(IImageProvider& provider, const cv::Size& captureSize, const cv::Rect& box,
                         std::vector<cv::Point> positions, int threads, bool complete)
    : provider_(provider),
      captureSize_(captureSize),
      positions_(std::move(positions)),
      layout_(captureSize, box, positions_),
      window_(provider, layout_, positions_, threads, complete)
{
}

bool Composition::Continues(const cv::Rect& box, const std::vector<cv::Point>& positions) const
{
    if (box != layout_.PageBox() || positions.size() < positions_.size() || !InPageOrder(positions) ||
        !std::equal(positions_.begin(), positions_.end(), positions.begin())) {
        return false;
    }
    // The main axis and which capture ends the page must not change under what was ranked.
    const PageLayout layout(captureSize_, box, positions);
    return layout.MainAxis() == layout_.MainAxis() && layout.LowCapture() == layout_.LowCapture() &&
           layout.HighCapture() >= nextRank_;
}

void Composition::Advance(const std::vector<cv::Point>& positions)
{
    positions_ = positions;
    layout_ = PageLayout(captureSize_, layout_.PageBox(), positions_);
    window_.Extend();
    const std::vector<std::size_t>& order = window_.Order();
    // The last capture so far may be the page's far end: it is ranked once the series is complete.
    while (nextRank_ + 1 < order.size() && window_.Settled(nextRank_)) {
        ranked_.emplace(order[nextRank_], PackRuns(window_.SourceCosts(order[nextRank_])));
        ++nextRank_;
    }
}

bool Composition::Finish(const std::function<bool()>& step, cv::Mat& stitched)
{
    window_.Complete();
    PageCanvas canvas(layout_, CV_8UC4);
    for (std::size_t rank = 0; rank < window_.Order().size(); ++rank) {
        const std::size_t index = window_.Order()[rank];
        cv::Mat costs;
        cv::Mat capture;
        const auto ranked = ranked_.find(index);
        if (ranked != ranked_.end()) {
            costs = UnpackRuns(ranked->second, layout_.PageBox().size());
            ranked_.erase(ranked);
            capture = LoadCapture(provider_, index, captureSize_);
        } else {
            costs = window_.SourceCosts(index);
            capture = window_.At(index);
        }
        canvas.AddFrame(capture, index);
        canvas.AddPage(capture, costs, index);
        if (!step()) {
            return false;
        }
    }
    stitched = canvas.Finish();
    return true;
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
