// Capture window: two looks at every capture. The first finds what stays put in each; the second
// judges each pixel only against neighbours that really show the page there.

#include "page/CaptureWindow.h"

#include "page/PixelRoles.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
/// Distinct neighbours per side: what a flat background leaves open, the next one may settle.
constexpr int kNeighboursPerSide = 2;

/// The nearest capture before (step -1) or after (step +1) `index` that shows the page from
/// another position: a repeated capture tells nothing about what moves.
std::size_t DistinctNeighbour(const std::vector<cv::Point>& positions, std::size_t index, int step)
{
    for (std::size_t other = index + step; other < positions.size(); other += step) {
        if (positions[other] != positions[index]) {
            return other;
        }
    }
    return kNone;
}

}  // namespace

cv::Mat LoadCapture(IImageProvider& provider, std::size_t index, const cv::Size& size)
{
    const std::shared_ptr<cv::Mat> capture = provider.GetImageAt(index);
    if (capture->depth() != CV_8U || (capture->channels() != 3 && capture->channels() != 4)) {
        throw CaptureRefused("Error: Only 8-bit captures with three or four channels can be stitched as a page.");
    }
    if (capture->size() != size) {
        throw CaptureRefused("Error: Every capture must have the first capture's size.");
    }
    if (capture->channels() == 4) {
        return *capture;
    }
    cv::Mat rgba;
    cv::cvtColor(*capture, rgba, cv::COLOR_RGB2RGBA);
    return rgba;
}

CaptureWindow::CaptureWindow(IImageProvider& provider, const PageLayout& layout,
                             const std::vector<cv::Point>& positions)
    : provider_(provider), layout_(layout), positions_(positions), size_(provider.GetImageAt(0)->size())
{
}

const cv::Mat& CaptureWindow::At(std::size_t index)
{
    cv::Mat& capture = captures_[index];
    if (capture.empty()) {
        capture = LoadCapture(provider_, index, size_);
    }
    return capture;
}

std::vector<std::size_t> CaptureWindow::NeighboursOf(std::size_t index) const
{
    std::vector<std::size_t> neighbours;
    for (const int step : {-1, +1}) {
        std::size_t other = index;
        for (int reach = 0; reach < kNeighboursPerSide; ++reach) {
            other = DistinctNeighbour(positions_, other, step);
            if (other == kNone) {
                break;
            }
            neighbours.push_back(other);
        }
    }
    return neighbours;
}

const cv::Mat& CaptureWindow::FirstSightStatic(std::size_t index)
{
    cv::Mat& still = firstSightStatic_[index];
    if (still.empty()) {
        const cv::Rect box = layout_.PageBox();
        std::vector<Neighbour> neighbours;
        for (const std::size_t other : NeighboursOf(index)) {
            neighbours.push_back({At(other)(box), positions_[index] - positions_[other], cv::Mat(), other < index});
        }
        still = StaticAtFirstSight(At(index)(box), neighbours);
    }
    return still;
}

cv::Mat CaptureWindow::Roles(std::size_t index)
{
    const cv::Rect box = layout_.PageBox();
    const std::vector<std::size_t> others = NeighboursOf(index);
    std::vector<Neighbour> neighbours;
    const Neighbour* previous = nullptr;
    std::size_t before = kNone;
    for (const std::size_t other : others) {
        // Content at p here shows at p + (position here - position there) there.
        neighbours.push_back(
            {At(other)(box), positions_[index] - positions_[other], FirstSightStatic(other), other < index});
    }
    if (!others.empty() && others.front() < index) {
        before = others.front();
        previous = &neighbours.front();
    }
    const cv::Mat previousSuspects = before != kNone ? suspects_[before] : cv::Mat();
    cv::Mat roles = ClassifyPixels(At(index)(box), neighbours, previous, previousSuspects, suspects_[index]);
    if (index == layout_.LowCapture()) {
        MarkNaturalElements(roles, layout_.MainAxis(), PageEnd::Low);
    }
    if (index == layout_.HighCapture()) {
        MarkNaturalElements(roles, layout_.MainAxis(), PageEnd::High);
    }
    // The next capture's oldest neighbour is judged against its own oldest one: keep that far.
    std::size_t oldest = std::min(index + 1, positions_.size() - 1);
    for (int reach = 0; reach < 2 * kNeighboursPerSide; ++reach) {
        const std::size_t other = DistinctNeighbour(positions_, oldest, -1);
        oldest = other == kNone ? oldest : other;
    }
    DropBefore(oldest);
    return roles;
}

void CaptureWindow::DropBefore(std::size_t index)
{
    captures_.erase(captures_.begin(), captures_.lower_bound(index));
    firstSightStatic_.erase(firstSightStatic_.begin(), firstSightStatic_.lower_bound(index));
    suspects_.erase(suspects_.begin(), suspects_.lower_bound(index));
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
