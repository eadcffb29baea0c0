// Capture window: each capture judged against its neighbours in page order, its elements found
// and followed from the capture before, and its pixels ranked as sources of the page.

#include "page/CaptureWindow.h"

#include "page/Evidence.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>
#include <system_error>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
/// Distinct neighbours per side: what one leaves open (a flat stretch), the next may settle.
constexpr std::size_t kNeighboursPerSide = 1;
constexpr std::size_t kNeighboursAtEnd = 2;
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
    // At half resolution: the steps are coarse, the distances need not be finer.
    cv::Mat half;
    cv::resize(displaced, half, cv::Size((displaced.cols + 1) / 2, (displaced.rows + 1) / 2), 0, 0, cv::INTER_AREA);
    cv::Mat distance;
    cv::distanceTransform(half == 0, distance, cv::DIST_L2, 3);
    cv::Mat halfSteps = cv::Mat::zeros(half.size(), CV_8U);
    for (const float threshold : kNearElement) {
        cv::add(halfSteps, 1, halfSteps, distance < threshold / 2);
    }
    cv::resize(halfSteps, steps, displaced.size(), 0, 0, cv::INTER_NEAREST);
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
                             const std::vector<cv::Point>& positions, int threads)
    : provider_(provider),
      layout_(layout),
      positions_(positions),
      size_(provider.GetImageAt(0)->size()),
      order_(positions.size()),
      previous_(kNone),
      ahead_(threads > 1)
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
    // The nearest distinct captures on each side, in page order; a repeated capture tells
    // nothing that its twin did not.
    const auto distinct = [&](int step, std::size_t wanted, std::vector<cv::Point>& seen) {
        std::vector<std::size_t> found;
        for (std::size_t other = rank + step; other < order_.size() && found.size() < wanted; other += step) {
            const cv::Point position = positions_[order_[other]];
            if (std::find(seen.begin(), seen.end(), position) == seen.end()) {
                seen.push_back(position);
                found.push_back(other);
            }
        }
        return found;
    };
    std::vector<cv::Point> seen{positions_[order_[rank]]};
    std::vector<std::size_t> before = distinct(-1, kNeighboursPerSide, seen);
    std::vector<std::size_t> after = distinct(+1, kNeighboursPerSide, seen);
    // At an end of the series, two from the side there is: one alone cannot tell an element
    // from a coincidence.
    if (before.empty()) {
        after = distinct(+1, kNeighboursAtEnd, seen = {positions_[order_[rank]]});
    } else if (after.empty()) {
        before = distinct(-1, kNeighboursAtEnd, seen = {positions_[order_[rank]]});
    }
    before.insert(before.end(), after.begin(), after.end());
    return before;
}

std::function<CaptureWindow::Judged()> CaptureWindow::JudgeTask(std::size_t rank)
{
    const cv::Rect box = layout_.PageBox();
    const std::size_t index = order_[rank];
    std::vector<Neighbour> neighbours;
    for (const std::size_t other : NeighboursOf(rank)) {
        const std::size_t there = order_[other];
        // Content at p here shows at p + (position here - position there) there.
        neighbours.push_back({At(there)(box), positions_[index] - positions_[there], other < rank});
    }
    return [image = At(index)(box), neighbours = std::move(neighbours), axis = layout_.MainAxis()] {
        Judged judged{GatherEvidence(image, neighbours, axis), {}};
        judged.elements = FindElements(judged.evidence, axis);
        return judged;
    };
}

CaptureWindow::Judged CaptureWindow::JudgedAt(std::size_t rank)
{
    if (next_ && next_->first == rank) {
        std::future<Judged> pending = std::move(next_->second);
        next_.reset();
        return pending.get();
    }
    return JudgeTask(rank)();
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
    Judged judged = JudgedAt(rank);
    const Evidence& evidence = judged.evidence;
    if (ahead_ && rank + 1 < order_.size()) {
        try {
            next_.emplace(rank + 1, std::async(std::launch::async, JudgeTask(rank + 1)));
        } catch (const std::system_error&) {
            next_.reset();  // no thread to spare: the next capture is judged when its turn comes
        }
    }
    const cv::Mat image = At(index)(box);

    // Elements are at their place only at the end of the series they keep to; elsewhere they
    // hide the page's content, or show their own twice. The previous capture's misplaced elements
    // are looked for here too: one that moved its own way (a sticky sidebar pushed by the end of
    // its column) looks like page from then on.
    std::vector<Element> elements = std::move(judged.elements);
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

    cv::Mat costs(box.size(), CV_8U, cv::Scalar(kPageCost));
    costs.setTo(kUnmatchedCost, evidence.textured & ~evidence.explained);
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
