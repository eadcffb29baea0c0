// Elements: still pixels grown into whole elements, and followed when they move.

#include "page/Elements.h"

#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <map>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

/// Gap between an element's glyphs that still joins them.
constexpr int kGlyphGap = 9;
/// Lines across the main axis that an element must span, and show again on to be found.
constexpr int kLeastLines = 6;
/// Fewest still pixels of an element: fewer are a coincidence of a few page pixels.
constexpr int kLeastStill = 32;
/// Share of an enclosed flat region that may be textured and still be an element's flat inside
/// (a caret, a field's text that is not still).
constexpr double kInsideTextureShare = 0.05;
/// Margin around an element for its anti-aliased edges and soft corners.
constexpr int kEdgeMargin = 2;
/// Most sample pixels compared per offset while following an element.
constexpr int kSamples = 4096;
/// Share of an element's samples that must show at an offset for it to be found there.
constexpr double kFoundShare = 0.8;
constexpr int kLeastFound = 24;
/// Samples of the first, sparse look at each offset.
constexpr std::size_t kSparseSamples = 256;
/// Share of a followed element that found elements must cover for it to be the same one.
constexpr double kFoundAgainShare = 0.8;
/// What a sparse look must find to earn a full one: fewer samples wander more.
constexpr double kSparseFoundShare = 0.6;

bool SamePixel(const cv::Vec4b& a, const cv::Vec4b& b)
{
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) <= 3 * kSameTolerance;
}

/// Still pixels joined into components; those with too few still pixels across the axis
/// (`telling`), or spread over too few lines across the main axis, dropped: a rule is one line,
/// and two rules of a page may coincide by chance.
cv::Mat StillComponents(const cv::Mat& still, const cv::Mat& telling, int axis)
{
    cv::Mat joined;
    cv::morphologyEx(still, joined, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kGlyphGap, kGlyphGap)));
    cv::Mat labels;
    const int count = cv::connectedComponents(joined, labels, 8, CV_32S);
    struct Counted {
        int pixels = 0;
        int firstLine = std::numeric_limits<int>::max();
        int lastLine = std::numeric_limits<int>::min();
    };
    std::vector<Counted> counted(static_cast<std::size_t>(count));
    for (int y = 0; y < still.rows; ++y) {
        const unsigned char* s = still.ptr<unsigned char>(y);
        const unsigned char* t = telling.ptr<unsigned char>(y);
        const int* label = labels.ptr<int>(y);
        for (int x = 0; x < still.cols; ++x) {
            if (s[x] != 0 && t[x] == 0) {
                Counted& component = counted[static_cast<std::size_t>(label[x])];
                const int line = axis == 0 ? y : x;
                ++component.pixels;
                component.firstLine = std::min(component.firstLine, line);
                component.lastLine = std::max(component.lastLine, line);
            }
        }
    }
    std::vector<unsigned char> keep(counted.size(), 0);
    for (std::size_t label = 1; label < counted.size(); ++label) {
        keep[label] = counted[label].pixels >= kLeastStill &&
                      counted[label].lastLine - counted[label].firstLine + 1 >= kLeastLines;
    }
    cv::Mat kept = cv::Mat::zeros(still.size(), CV_8U);
    for (int y = 0; y < still.rows; ++y) {
        const int* label = labels.ptr<int>(y);
        unsigned char* out = kept.ptr<unsigned char>(y);
        for (int x = 0; x < still.cols; ++x) {
            out[x] = keep[static_cast<std::size_t>(label[x])] ? 255 : 0;
        }
    }
    return kept;
}

/// The flat regions that `elements` enclose, together with the area's edges, within the bounds
/// of one of them: the inside of a box or a button, whose flat colour cannot be seen to stay put.
cv::Mat FlatInsides(const cv::Mat& elements, const cv::Mat& textured, const cv::Mat& still)
{
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(elements, labels, stats, centroids, 8, CV_32S);
    std::vector<cv::Rect> bounds;
    for (int label = 1; label < count; ++label) {
        bounds.emplace_back(stats.at<int>(label, cv::CC_STAT_LEFT), stats.at<int>(label, cv::CC_STAT_TOP),
                            stats.at<int>(label, cv::CC_STAT_WIDTH), stats.at<int>(label, cv::CC_STAT_HEIGHT));
    }
    cv::Mat regions;
    const int regionCount = cv::connectedComponentsWithStats(~elements, regions, stats, centroids, 4, CV_32S);
    const cv::Mat loose = textured & ~still;
    std::vector<int> looseCount(static_cast<std::size_t>(regionCount), 0);
    for (int y = 0; y < loose.rows; ++y) {
        const unsigned char* l = loose.ptr<unsigned char>(y);
        const int* region = regions.ptr<int>(y);
        for (int x = 0; x < loose.cols; ++x) {
            looseCount[static_cast<std::size_t>(region[x])] += l[x] != 0;
        }
    }
    std::vector<unsigned char> inside(static_cast<std::size_t>(regionCount), 0);
    for (int region = 1; region < regionCount; ++region) {
        const cv::Rect box(stats.at<int>(region, cv::CC_STAT_LEFT), stats.at<int>(region, cv::CC_STAT_TOP),
                           stats.at<int>(region, cv::CC_STAT_WIDTH), stats.at<int>(region, cv::CC_STAT_HEIGHT));
        const int area = stats.at<int>(region, cv::CC_STAT_AREA);
        const bool flat = looseCount[static_cast<std::size_t>(region)] <= kInsideTextureShare * area;
        const bool within = std::any_of(bounds.begin(), bounds.end(),
                                        [&](const cv::Rect& element) { return (box & element) == box; });
        inside[static_cast<std::size_t>(region)] = flat && within ? 255 : 0;
    }
    cv::Mat flatInsides(elements.size(), CV_8U);
    for (int y = 0; y < elements.rows; ++y) {
        const int* region = regions.ptr<int>(y);
        unsigned char* out = flatInsides.ptr<unsigned char>(y);
        for (int x = 0; x < elements.cols; ++x) {
            out[x] = inside[static_cast<std::size_t>(region[x])];
        }
    }
    return flatInsides;
}

/// `mask` grown into the `flat` pixels connected to it.
cv::Mat GrowInto(const cv::Mat& mask, const cv::Mat& flat)
{
    cv::Mat labels;
    const cv::Mat both = mask | flat;
    const int count = cv::connectedComponents(both, labels, 8, CV_32S);
    std::vector<unsigned char> touches(static_cast<std::size_t>(count), 0);
    for (int y = 0; y < mask.rows; ++y) {
        const unsigned char* m = mask.ptr<unsigned char>(y);
        const int* label = labels.ptr<int>(y);
        for (int x = 0; x < mask.cols; ++x) {
            if (m[x] != 0) {
                touches[static_cast<std::size_t>(label[x])] = 255;
            }
        }
    }
    cv::Mat grown(mask.size(), CV_8U);
    for (int y = 0; y < mask.rows; ++y) {
        const int* label = labels.ptr<int>(y);
        unsigned char* out = grown.ptr<unsigned char>(y);
        for (int x = 0; x < mask.cols; ++x) {
            out[x] = label[x] != 0 ? touches[static_cast<std::size_t>(label[x])] : 0;
        }
    }
    return grown;
}

/// Elements from a mask of their pixels, one per connected part.
std::vector<Element> SplitElements(const cv::Mat& mask, int axis, bool moving)
{
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    const int length = axis == 0 ? mask.rows : mask.cols;
    std::vector<Element> elements;
    for (int label = 1; label < count; ++label) {
        Element element;
        element.bounds = cv::Rect(stats.at<int>(label, cv::CC_STAT_LEFT), stats.at<int>(label, cv::CC_STAT_TOP),
                                  stats.at<int>(label, cv::CC_STAT_WIDTH), stats.at<int>(label, cv::CC_STAT_HEIGHT));
        element.mask = labels(element.bounds) == label;
        const int start = axis == 0 ? element.bounds.y : element.bounds.x;
        element.anchor = 2 * start < length ? Anchor::Low : Anchor::High;
        element.moving = moving;
        elements.push_back(std::move(element));
    }
    return elements;
}

/// Up to kSamples of the element's textured pixels, in area coordinates.
std::vector<cv::Point> Samples(const Element& element, const cv::Mat& textured)
{
    std::vector<cv::Point> points;
    const cv::Mat edges = textured(element.bounds) & element.mask;
    cv::findNonZero(edges, points);
    if (points.size() > static_cast<std::size_t>(kSamples)) {
        std::vector<cv::Point> spread;
        const double stride = static_cast<double>(points.size()) / kSamples;
        for (int i = 0; i < kSamples; ++i) {
            spread.push_back(points[static_cast<std::size_t>(i * stride)]);
        }
        points.swap(spread);
    }
    for (cv::Point& point : points) {
        point += element.bounds.tl();
    }
    return points;
}

/// How many of `samples` of `previous` show in `current` at `offset`, and how many land inside
/// it; gives up (returning no hits) once more are missing than a found element may miss.
std::pair<int, int> Found(const cv::Mat& previous, const cv::Mat& current, const std::vector<cv::Point>& samples,
                          std::size_t stride, double share, const cv::Point& offset)
{
    const cv::Rect area(cv::Point(), current.size());
    const double allowed = (1.0 - share) * static_cast<double>(samples.size()) / static_cast<double>(stride);
    int inside = 0;
    int found = 0;
    for (std::size_t i = 0; i < samples.size(); i += stride) {
        const cv::Point there = samples[i] + offset;
        if (area.contains(there)) {
            ++inside;
            found += SamePixel(previous.at<cv::Vec4b>(samples[i]), current.at<cv::Vec4b>(there));
            if (inside - found > allowed) {
                return {0, inside};
            }
        }
    }
    return {found, inside};
}

/// Whether what shows of `samples` at `offset` shows on most lines across the main axis that
/// they cover, and on enough of them: a rule or a border is one line long, and shows wherever
/// another one runs.
bool FoundAcrossLines(const cv::Mat& previous, const cv::Mat& current, const std::vector<cv::Point>& samples,
                      const cv::Point& offset, int axis)
{
    const cv::Rect area(cv::Point(), current.size());
    std::map<int, std::pair<int, int>> lines;  // line -> (hits, inside)
    for (const cv::Point& point : samples) {
        const cv::Point there = point + offset;
        if (area.contains(there)) {
            std::pair<int, int>& line = lines[axis == 0 ? point.y : point.x];
            ++line.second;
            line.first += SamePixel(previous.at<cv::Vec4b>(point), current.at<cv::Vec4b>(there));
        }
    }
    int found = 0;
    for (const auto& line : lines) {
        found += line.second.first >= kFoundShare * line.second.second;
    }
    return found >= kLeastLines && found >= kFoundShare * static_cast<double>(lines.size());
}

/// The offset at which most of `samples` show again, among staying put, moving its own way
/// towards the page's motion and (when `withPage`) the page's motion itself; false when none.
bool Locate(const cv::Mat& previous, const cv::Mat& current, const std::vector<cv::Point>& samples,
            const cv::Point& pageShift, int axis, bool withPage, cv::Point& located)
{
    const int along = axis == 0 ? pageShift.y : pageShift.x;
    const int step = along > 0 ? 1 : -1;
    const int last = withPage ? along : along - step;
    // A sparse look at every offset, then a full one at those that pass it.
    const std::size_t stride = std::max<std::size_t>(1, samples.size() / kSparseSamples);
    int bestFound = 0;
    bool any = false;
    for (int offset = 0;; offset += step) {
        const cv::Point shift =
            offset == along ? pageShift : (axis == 0 ? cv::Point(0, offset) : cv::Point(offset, 0));
        const auto sparse = Found(previous, current, samples, stride, kSparseFoundShare, shift);
        if (sparse.first > 0 && sparse.first >= kSparseFoundShare * sparse.second) {
            const auto [hits, inside] = Found(previous, current, samples, 1, kFoundShare, shift);
            if (inside >= kLeastFound && hits >= kFoundShare * inside && hits > bestFound &&
                FoundAcrossLines(previous, current, samples, shift, axis)) {
                bestFound = hits;
                located = shift;
                any = true;
            }
        }
        if (offset == last || along == 0 || (along > 0 ? offset > last : offset < last)) {
            break;
        }
    }
    return any;
}

}  // namespace

std::vector<Element> FindElements(const Evidence& evidence, int axis)
{
    const cv::Mat still = StillComponents(evidence.still, evidence.alongTheAxis, axis);
    cv::Mat mask = GrowInto(still | FlatInsides(still, evidence.textured, evidence.still), evidence.flatStill);
    cv::dilate(mask, mask, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * kEdgeMargin + 1, 2 * kEdgeMargin + 1)));
    return SplitElements(mask, axis, false);
}

std::vector<Element> TrackElements(const cv::Mat& previous, const cv::Mat& previousTextured,
                                   const std::vector<Element>& elements, const cv::Mat& current,
                                   const cv::Point& pageShift, int axis)
{
    std::vector<Element> found;
    for (const Element& element : elements) {
        const std::vector<cv::Point> samples = Samples(element, previousTextured);
        if (samples.size() < static_cast<std::size_t>(kLeastFound)) {
            continue;
        }
        cv::Point best;
        if (!Locate(previous, current, samples, pageShift, axis, element.moving, best)) {
            continue;
        }
        const cv::Rect area(cv::Point(), current.size());
        const cv::Rect moved = (element.bounds + best) & area;
        if (moved.empty()) {
            continue;
        }
        Element appearance;
        appearance.bounds = moved;
        appearance.mask = element.mask(moved - best - element.bounds.tl()).clone();
        appearance.anchor = element.anchor;
        appearance.moving = best != cv::Point() || element.moving;
        found.push_back(std::move(appearance));
    }
    return found;
}

std::vector<Element> WithoutFoundAgain(std::vector<Element> followed, const std::vector<Element>& found,
                                       const cv::Size& size)
{
    const cv::Mat foundMask = ElementMask(found, size);
    followed.erase(std::remove_if(followed.begin(), followed.end(),
                                  [&](const Element& element) {
                                      const int covered = cv::countNonZero(foundMask(element.bounds) & element.mask);
                                      return covered >= kFoundAgainShare * cv::countNonZero(element.mask);
                                  }),
                   followed.end());
    return followed;
}

cv::Mat ElementMask(const std::vector<Element>& elements, const cv::Size& size)
{
    cv::Mat mask = cv::Mat::zeros(size, CV_8U);
    for (const Element& element : elements) {
        mask(element.bounds) |= element.mask;
    }
    return mask;
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
