// Pixel roles: compare a capture with its neighbours at the same place and where the page moved.

#include "page/PixelRoles.h"

#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

/// Summed over red, green and blue: three grey tolerances.
constexpr int kSameColourTolerance = 3 * kSameTolerance;

/// 255 where two colour images show the same colour. Colours, not grey levels: a red button
/// and a dark grey bar can share a grey level.
cv::Mat SameAs(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    cv::Mat same(a.size(), CV_8U);
    for (int y = 0; y < difference.rows; ++y) {
        const unsigned char* channel = difference.ptr<unsigned char>(y);
        unsigned char* out = same.ptr<unsigned char>(y);
        for (int x = 0; x < difference.cols; ++x, channel += 4) {
            out[x] = channel[0] + channel[1] + channel[2] <= kSameColourTolerance ? 255 : 0;
        }
    }
    return same;
}

/// What one neighbour says about each pixel, within the part of the page both show.
struct Comparison {
    cv::Rect here;
    /// 255 where the neighbour's view of this part of the page is not hidden by an element.
    cv::Mat open;
    /// Like `same` and `moved`, also where the page is hidden in the neighbour.
    cv::Mat sameAnyway;
    cv::Mat movedAnyway;
    cv::Mat same;
    cv::Mat moved;
};

bool Compare(const cv::Mat& image, const Neighbour& neighbour, Comparison& comparison)
{
    if (neighbour.shift == cv::Point(0, 0) || neighbour.image.size() != image.size()) {
        return false;  // a capture that did not move tells nothing about what moves
    }
    // Only where the neighbour also shows this part of the page can it tell page from element;
    // elsewhere an equal pixel at the same place is mere coincidence.
    const cv::Rect whole(cv::Point(0, 0), image.size());
    comparison.here = whole & (whole - neighbour.shift);
    if (comparison.here.empty()) {
        return false;
    }
    const cv::Rect there = comparison.here + neighbour.shift;
    // Where an element hides the page in the neighbour, agreeing or not with it proves nothing.
    comparison.open = neighbour.occluded.empty() ? cv::Mat(comparison.here.size(), CV_8U, cv::Scalar(255))
                                                 : ~neighbour.occluded(there);
    comparison.sameAnyway = SameAs(image(comparison.here), neighbour.image(comparison.here));
    comparison.same = comparison.sameAnyway & comparison.open;
    comparison.movedAnyway = SameAs(image(comparison.here), neighbour.image(there));
    comparison.moved = comparison.movedAnyway & comparison.open;
    return true;
}

/// Pixels that moved neither with the page nor stayed put since the previous capture (a sticky
/// element pushed by the end of its container, an animation), and those that followed the page
/// from such a pixel of the previous capture.
cv::Mat Suspects(const cv::Size& size, const Neighbour& previous, const Comparison& comparison,
                 const cv::Mat& previousSuspects)
{
    if (previous.shift == cv::Point(0, 0)) {
        return previousSuspects.size() == size ? previousSuspects.clone() : cv::Mat::zeros(size, CV_8U);
    }
    cv::Mat suspects = cv::Mat::zeros(size, CV_8U);
    if (comparison.here.empty()) {
        return suspects;
    }
    cv::Mat here = comparison.open & ~(comparison.same | comparison.moved);
    if (previousSuspects.size() == size) {
        here |= comparison.moved & previousSuspects(comparison.here + previous.shift);
    }
    here.copyTo(suspects(comparison.here));
    return suspects;
}


/// What the neighbours say about every pixel of one capture. Evidence from the captures before
/// and after it is kept apart: an element that stayed put until now and moves with the page from
/// now on (a sticky one pushed by the end of its container) is not where the page puts it, while
/// one that moved with the page until now is.
struct Evidence {
    explicit Evidence(const cv::Size& size)
        : movingBefore(cv::Mat::zeros(size, CV_8U)),
          movingAfter(cv::Mat::zeros(size, CV_8U)),
          stillBefore(cv::Mat::zeros(size, CV_8U)),
          stillVotes(cv::Mat::zeros(size, CV_8U)),
          flatVotes(cv::Mat::zeros(size, CV_8U))
    {
    }

    cv::Mat movingBefore;
    cv::Mat movingAfter;
    cv::Mat stillBefore;
    /// Votes, one per neighbour: stayed put and did not follow the page, or looked the same both
    /// ways. A flat colour can stay put by coincidence against one neighbour, not against most.
    cv::Mat stillVotes;
    cv::Mat flatVotes;
};

/// Tallies what each neighbour says; the comparison with `previous` also gives the suspects.
Evidence Gather(const cv::Mat& image, const std::vector<Neighbour>& neighbours, const Neighbour* previous,
                const cv::Mat& previousSuspects, cv::Mat& suspects)
{
    Evidence evidence(image.size());
    suspects = cv::Mat::zeros(image.size(), CV_8U);
    for (const Neighbour& neighbour : neighbours) {
        Comparison comparison;
        if (!Compare(image, neighbour, comparison)) {
            continue;
        }
        const cv::Rect& here = comparison.here;
        (neighbour.before ? evidence.movingBefore : evidence.movingAfter)(here) |= comparison.moved & ~comparison.same;
        if (neighbour.before) {
            // Staying put is seen at the same place, whatever hides the page elsewhere.
            evidence.stillBefore(here) |= comparison.sameAnyway & ~comparison.movedAnyway;
        }
        cv::add(evidence.stillVotes(here), 1, evidence.stillVotes(here), comparison.same & ~comparison.moved);
        cv::add(evidence.flatVotes(here), 1, evidence.flatVotes(here), comparison.same & comparison.moved);
        if (&neighbour == previous) {
            suspects = Suspects(image.size(), neighbour, comparison, previousSuspects);
        }
    }
    if (previous != nullptr && previous->shift == cv::Point(0, 0)) {
        suspects = Suspects(image.size(), *previous, {}, previousSuspects);
    }
    return evidence;
}

/// Pixels that stayed put until this capture and move with the page from it on: an element set
/// going (a sticky one pushed by the end of its container), not the page.
cv::Mat StartsMoving(const Evidence& evidence)
{
    return evidence.stillBefore & evidence.movingAfter & ~evidence.movingBefore;
}

/// An element's pixels joined across its flat inside, which looks like page to every neighbour.
cv::Mat JoinElements(const cv::Mat& still)
{
    constexpr int kElementGap = 31;
    cv::Mat joined;
    cv::morphologyEx(still, joined, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kElementGap, kElementGap)));
    return joined;
}

/// Pixels with an edge next to them: only these can be seen to stay put rather than coincide.
cv::Mat Textured(const cv::Mat& image)
{
    cv::Mat gradient;
    cv::morphologyEx(image, gradient, cv::MORPH_GRADIENT, cv::Mat());
    cv::Mat textured(image.size(), CV_8U);
    for (int y = 0; y < gradient.rows; ++y) {
        const unsigned char* channel = gradient.ptr<unsigned char>(y);
        unsigned char* out = textured.ptr<unsigned char>(y);
        for (int x = 0; x < gradient.cols; ++x, channel += 4) {
            out[x] = channel[0] + channel[1] + channel[2] > kSameColourTolerance ? 255 : 0;
        }
    }
    return textured;
}

}  // namespace

cv::Mat StaticAtFirstSight(const cv::Mat& image, const std::vector<Neighbour>& neighbours)
{
    cv::Mat ignored;
    const Evidence evidence = Gather(image, neighbours, nullptr, cv::Mat(), ignored);
    const cv::Mat startsMoving = StartsMoving(evidence);
    const cv::Mat moving = evidence.movingBefore | (evidence.movingAfter & ~startsMoving);
    const cv::Mat still = ((evidence.stillVotes > evidence.flatVotes) | startsMoving) & ~moving & Textured(image);
    return JoinElements(still) & ~moving;
}

cv::Mat ClassifyPixels(const cv::Mat& image, const std::vector<Neighbour>& neighbours, const Neighbour* previous,
                       const cv::Mat& previousSuspects, cv::Mat& suspects)
{
    const Evidence evidence = Gather(image, neighbours, previous, previousSuspects, suspects);
    const cv::Mat startsMoving = StartsMoving(evidence);
    suspects |= startsMoving;
    const cv::Mat moving = evidence.movingBefore | (evidence.movingAfter & ~startsMoving);
    cv::Mat still = (evidence.stillVotes > evidence.flatVotes) & ~moving;
    cv::Mat flat = ~(moving | still);
    const cv::Mat flatInElement = flat & JoinElements(still);
    flat &= ~flatInElement;
    still |= flatInElement;

    cv::Mat roles(image.size(), CV_8U, cv::Scalar(kUnmatched));
    roles.setTo(kStatic, still);
    roles.setTo(kFlat, flat);
    roles.setTo(kMoving, moving);
    roles.setTo(kUnmatched, suspects & ~still);
    return roles;
}

void MarkNaturalElements(cv::Mat& roles, int axis, PageEnd end)
{
    const cv::Mat still = roles == kStatic;
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const cv::Mat joined = JoinElements(still);
    const int count = cv::connectedComponentsWithStats(joined, labels, stats, centroids, 8, CV_32S);
    const int length = axis == 0 ? roles.rows : roles.cols;
    const int startColumn = axis == 0 ? cv::CC_STAT_TOP : cv::CC_STAT_LEFT;
    std::vector<unsigned char> natural(static_cast<std::size_t>(count), 0);
    for (int label = 1; label < count; ++label) {
        const bool lowHalf = 2 * stats.at<int>(label, startColumn) < length;
        natural[static_cast<std::size_t>(label)] = lowHalf == (end == PageEnd::Low);
    }
    for (int y = 0; y < roles.rows; ++y) {
        unsigned char* role = roles.ptr<unsigned char>(y);
        const int* label = labels.ptr<int>(y);
        for (int x = 0; x < roles.cols; ++x) {
            if (role[x] == kStatic && natural[static_cast<std::size_t>(label[x])]) {
                role[x] = kNatural;
            }
        }
    }
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
