// Capture window: each capture judged against its neighbours in page order, its elements found
// and followed from the capture before, and its pixels ranked as sources of the page.

#include "page/CaptureWindow.h"

#include "page/Evidence.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
/// Distinct neighbours per side: what one leaves open (a flat stretch), the next may settle.
constexpr std::size_t kNeighboursPerSide = 2;
/// Source costs: the rank of what a pixel shows, then how near it is to a misplaced element.
constexpr unsigned char kNaturalCost = 0;
constexpr unsigned char kPageCost = 4;
constexpr unsigned char kUnmatchedCost = 8;
/// Distances (in pixels) from a misplaced element that make a source worse by one step each.
constexpr float kNearElement[] = {32.f, 12.f, 4.f};

int Along(const cv::Point& point, int axis)
{
    return axis == 0 ? point.y : point.x;
}

/// One step worse for every threshold of kNearElement that the pixel is closer than.
cv::Mat NearnessSteps(const cv::Mat& displaced)
{
    cv::Mat steps = cv::Mat::zeros(displaced.size(), CV_8U);
    if (cv::countNonZero(displaced) == 0) {
        return steps;
    }
    cv::Mat distance;
    cv::distanceTransform(~displaced, distance, cv::DIST_L2, 3);
    for (const float threshold : kNearElement) {
        cv::add(steps, 1, steps, distance < threshold);
    }
    return steps;
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
    : provider_(provider),
      layout_(layout),
      positions_(positions),
      size_(provider.GetImageAt(0)->size()),
      order_(positions.size()),
      previous_(kNone)
{
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    const int axis = layout.MainAxis();
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        return Along(positions[a], axis) < Along(positions[b], axis);
    });
}

const cv::Mat& CaptureWindow::At(std::size_t index)
{
    cv::Mat& capture = captures_[index];
    if (capture.empty()) {
        capture = LoadCapture(provider_, index, size_);
    }
    return capture;
}

std::vector<std::size_t> CaptureWindow::NeighboursOf(std::size_t rank) const
{
    std::vector<std::size_t> neighbours;
    std::vector<cv::Point> seen{positions_[order_[rank]]};
    for (const int step : {-1, +1}) {
        std::size_t found = 0;
        for (std::size_t other = rank + step; other < order_.size() && found < kNeighboursPerSide; other += step) {
            const cv::Point position = positions_[order_[other]];
            // A repeated capture tells nothing that its twin did not.
            if (std::find(seen.begin(), seen.end(), position) == seen.end()) {
                seen.push_back(position);
                neighbours.push_back(other);
                ++found;
            }
        }
    }
    return neighbours;
}

bool CaptureWindow::ShownAtStart(const Element& element) const
{
    if (startElements_.empty()) {
        return false;
    }
    const int shown = cv::countNonZero(startElements_(element.bounds) & element.mask);
    return 2 * shown >= cv::countNonZero(element.mask);
}

cv::Mat CaptureWindow::SourceCosts(std::size_t index)
{
    const cv::Rect box = layout_.PageBox();
    const int axis = layout_.MainAxis();
    const std::size_t rank = static_cast<std::size_t>(std::find(order_.begin(), order_.end(), index) - order_.begin());
    const std::vector<std::size_t> others = NeighboursOf(rank);
    std::vector<Neighbour> neighbours;
    for (const std::size_t other : others) {
        const std::size_t there = order_[other];
        // Content at p here shows at p + (position here - position there) there.
        neighbours.push_back({At(there)(box), positions_[index] - positions_[there], other < rank});
    }
    const cv::Mat image = At(index)(box);
    const Evidence evidence = GatherEvidence(image, neighbours, axis);

    // Elements are at their place only at the end of the series they keep to; elsewhere they
    // hide the page's content, or show their own twice. The previous capture's misplaced elements
    // are looked for here too: one that moved its own way (a sticky sidebar pushed by the end of
    // its column) looks like page from then on.
    std::vector<Element> elements = FindElements(evidence, axis);
    if (previous_ != kNone) {
        for (Element& element :
             WithoutFoundAgain(TrackElements(At(previous_)(box), previousTextured_, previousDisplaced_, image,
                                             positions_[previous_] - positions_[index], axis),
                               elements, box.size())) {
            elements.push_back(std::move(element));
        }
    }
    std::vector<Element> natural;
    std::vector<Element> displaced;
    for (Element& element : elements) {
        const bool atPlace = (index == layout_.LowCapture() && element.anchor == Anchor::Low) ||
                             (index == layout_.HighCapture() && element.anchor == Anchor::High && ShownAtStart(element));
        (atPlace ? natural : displaced).push_back(std::move(element));
    }
    if (index == layout_.LowCapture()) {
        startElements_ = ElementMask(natural, box.size()) | ElementMask(displaced, box.size());
    }
    const cv::Mat naturalMask = ElementMask(natural, box.size());
    const cv::Mat displacedMask = ElementMask(displaced, box.size()) & ~naturalMask;

    const cv::Mat following = evidence.followingBefore | evidence.followingAfter;
    cv::Mat costs(box.size(), CV_8U, cv::Scalar(kPageCost));
    costs.setTo(kUnmatchedCost, evidence.textured & ~following);
    costs += NearnessSteps(displacedMask);
    costs.setTo(kNaturalCost, naturalMask);
    costs.setTo(kNeverSource, displacedMask);

    previous_ = index;
    previousTextured_ = evidence.textured;
    previousDisplaced_ = std::move(displaced);
    // The next capture is judged against its neighbours and this one.
    std::size_t keep = rank;
    if (rank + 1 < order_.size()) {
        for (const std::size_t other : NeighboursOf(rank + 1)) {
            keep = std::min(keep, other);
        }
    }
    DropBefore(keep);
    return costs;
}

void CaptureWindow::DropBefore(std::size_t rank)
{
    for (auto it = captures_.begin(); it != captures_.end();) {
        const std::size_t itsRank =
            static_cast<std::size_t>(std::find(order_.begin(), order_.end(), it->first) - order_.begin());
        it = itsRank < rank ? captures_.erase(it) : std::next(it);
    }
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
