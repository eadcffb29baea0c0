// Scroll measurement: a coarse phase correlation proposes shifts, an exact full-resolution
// comparison of the changed pixels picks the one the page really moved by.

#include "page/ScrollMeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

/// Longest side of the coarse correlation grid: large enough to keep paragraphs and code blocks
/// apart, small enough that the three transforms cost a few milliseconds.
constexpr int kCoarseSide = 384;
/// Coarse peaks checked at full resolution; the page's own peak is among the first few even
/// when static elements outweigh it.
constexpr int kCandidates = 6;
/// Fewer changed pixels than this (a blinking caret, a hover) means the page did not move.
constexpr int kMinChangedPixels = 48;
constexpr double kMinChangedShare = 1.0 / 4000.0;
/// Rows skipped while sweeping a neighbourhood; the winner is then scored on every row.
constexpr int kSweepRowStep = 3;
/// A step keeps at least 1/this of the changed pixels in its overlap: a 75 % step under a sticky
/// header keeps little more than 1/40, a sliver that matches by chance less.
constexpr long kLeastOverlapShare = 50;
/// Side of the tiles over which a shift must match nearly in full, and how nearly.
constexpr int kMatchTile = 16;
constexpr double kTileMatchShare = 0.75;
/// Tiles with fewer changed pixels tell nothing.
constexpr unsigned kLeastTilePixels = 4;
/// Tiles that a match is judged as if it had in addition, all unmatched: a sliver matched in full
/// by chance ranks below a large overlap matched nearly in full.
constexpr long kTilePrior = 16;
/// A pair whose best coarse candidate explains less than this share of its changed pixels is
/// searched again along each axis.
constexpr double kWellExplained = 0.9;
/// Columns (or rows) skipped while searching every shift along an axis.
constexpr int kSparseStep = 4;
/// Pixels either side of the sparse sweep's winner that are judged again on every row.
constexpr int kFineRadius = 2;

struct Shift {
    int rows = 0;
    int cols = 0;
};

struct Score {
    long matched = 0;
    long overlap = 0;
    /// Tiles of the overlap with changed pixels, and those that match nearly in full.
    long tiles = 0;
    long matchedTiles = 0;

    /// Share of the overlap's tiles that match nearly in full: what the shift explains, little
    /// upset by JPEG noise.
    double Fraction() const { return tiles > 0 ? static_cast<double>(matchedTiles) / tiles : 0.0; }
};

bool Allows(int direction, const Shift& shift)
{
    return (direction == 0 && shift.cols == 0) || (direction == 1 && shift.rows == 0) || direction == 2;
}

/// Pixels whose grey level differs between the two captures at the same place.
cv::Mat ChangedMask(const cv::Mat& previous, const cv::Mat& current)
{
    cv::Mat difference;
    cv::absdiff(previous, current, difference);
    cv::Mat changed;
    cv::compare(difference, kSameTolerance, changed, cv::CMP_GT);
    return changed;
}

/// The span of indices whose count reaches `least`, as [first, last + 1).
cv::Range ActiveSpan(const cv::Mat& counts, int least)
{
    const int* values = counts.ptr<int>();
    const int length = static_cast<int>(counts.total());
    int first = 0;
    while (first < length && values[first] < least) {
        ++first;
    }
    int last = length;
    while (last > first && values[last - 1] < least) {
        --last;
    }
    return {first, last};
}

/// The rectangle that holds the changed pixels (a few stray ones at its edges aside).
cv::Rect ChangedArea(const cv::Mat& changed)
{
    cv::Mat perRow;
    cv::Mat perCol;
    cv::reduce(changed, perRow, 1, cv::REDUCE_SUM, CV_32S);
    cv::reduce(changed, perCol, 0, cv::REDUCE_SUM, CV_32S);
    const int least = 255;
    const cv::Range rows = ActiveSpan(perRow, least);
    const cv::Range cols = ActiveSpan(perCol, least);
    return {cols.start, rows.start, cols.size(), rows.size()};
}

/// A zero-mean float copy of `area`, shrunk by `factor`.
cv::Mat CoarseGrey(const cv::Mat& grey, const cv::Rect& area, int factor)
{
    cv::Mat small;
    cv::resize(grey(area), small, cv::Size(area.width / factor, area.height / factor), 0, 0, cv::INTER_AREA);
    cv::Mat floating;
    small.convertTo(floating, CV_32F);
    floating -= cv::mean(floating)[0];
    return floating;
}

/// Phase correlation surface of `current` against `previous`, padded so that any shift below
/// the image size has a place of its own: the peak at (y, x) means content moved by (y, x).
cv::Mat CorrelationSurface(const cv::Mat& previous, const cv::Mat& current)
{
    const cv::Size padded(cv::getOptimalDFTSize(2 * previous.cols), cv::getOptimalDFTSize(2 * previous.rows));
    cv::Mat a = cv::Mat::zeros(padded, CV_32F);
    cv::Mat b = cv::Mat::zeros(padded, CV_32F);
    previous.copyTo(a(cv::Rect(0, 0, previous.cols, previous.rows)));
    current.copyTo(b(cv::Rect(0, 0, current.cols, current.rows)));
    cv::Mat spectrumA;
    cv::Mat spectrumB;
    cv::dft(a, spectrumA, cv::DFT_COMPLEX_OUTPUT);
    cv::dft(b, spectrumB, cv::DFT_COMPLEX_OUTPUT);
    cv::Mat cross;
    cv::mulSpectrums(spectrumB, spectrumA, cross, 0, true);
    for (int y = 0; y < cross.rows; ++y) {
        auto* value = cross.ptr<cv::Vec2f>(y);
        for (int x = 0; x < cross.cols; ++x) {
            const float magnitude = std::hypot(value[x][0], value[x][1]);
            value[x] = magnitude > 1e-6f ? value[x] / magnitude : cv::Vec2f(0.f, 0.f);
        }
    }
    cv::Mat surface;
    cv::idft(cross, surface, cv::DFT_REAL_OUTPUT | cv::DFT_SCALE);
    return surface;
}

/// A surface index as a signed shift, given the surface's length along that axis.
int Unwrap(int index, int length)
{
    return index > length / 2 ? index - length : index;
}

/// Sub-sample offset of a peak along one axis, from its two neighbours (wrapping).
double PeakOffset(const cv::Mat& surface, int y, int x, int dy, int dx)
{
    const auto at = [&](int yy, int xx) {
        yy = (yy + surface.rows) % surface.rows;
        xx = (xx + surface.cols) % surface.cols;
        return std::max(0.f, surface.at<float>(yy, xx));
    };
    const double before = at(y - dy, x - dx);
    const double centre = at(y, x);
    const double after = at(y + dy, x + dx);
    const double sum = before + centre + after;
    return sum > 0 ? (after - before) / sum : 0.0;
}

struct Peak {
    float value;
    int y;
    int x;
};

/// The highest local maxima of the surface among the shifts `direction` allows.
std::vector<Peak> HighestPeaks(const cv::Mat& surface, int direction)
{
    cv::Mat dilated;
    cv::dilate(surface, dilated, cv::Mat());
    std::vector<Peak> peaks;
    for (int y = 0; y < surface.rows; ++y) {
        const float* value = surface.ptr<float>(y);
        const float* top = dilated.ptr<float>(y);
        for (int x = 0; x < surface.cols; ++x) {
            const Shift shift{Unwrap(y, surface.rows), Unwrap(x, surface.cols)};
            if (value[x] > 0 && value[x] >= top[x] && Allows(direction, shift)) {
                peaks.push_back({value[x], y, x});
            }
        }
    }
    const std::size_t kept = std::min<std::size_t>(kCandidates, peaks.size());
    std::partial_sort(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(kept), peaks.end(),
                      [](const Peak& a, const Peak& b) { return a.value > b.value; });
    peaks.resize(kept);
    return peaks;
}

/// Full-resolution estimates of the coarse peaks.
std::vector<Shift> CoarseCandidates(const cv::Mat& previous, const cv::Mat& current, const cv::Rect& area,
                                    int direction)
{
    const int factor = std::max(1, (std::max(area.width, area.height) + kCoarseSide - 1) / kCoarseSide);
    if (area.width / factor < 2 || area.height / factor < 2) {
        return {};
    }
    const cv::Mat surface = CorrelationSurface(CoarseGrey(previous, area, factor), CoarseGrey(current, area, factor));
    std::vector<Shift> candidates;
    for (const Peak& peak : HighestPeaks(surface, direction)) {
        const double rows = Unwrap(peak.y, surface.rows) + PeakOffset(surface, peak.y, peak.x, 1, 0);
        const double cols = Unwrap(peak.x, surface.cols) + PeakOffset(surface, peak.y, peak.x, 0, 1);
        Shift shift{static_cast<int>(std::lround(rows * factor)), static_cast<int>(std::lround(cols * factor))};
        if (direction == 1) {
            shift.rows = 0;
        }
        if (direction == 0) {
            shift.cols = 0;
        }
        candidates.push_back(shift);
    }
    return candidates;
}

/// Every `step`-th row of `view`, as a view.
cv::Mat EveryRow(const cv::Mat& view, int step)
{
    return cv::Mat((view.rows + step - 1) / step, view.cols, view.type(), view.data, view.step * step);
}

/// Where the overlap of `current` with `previous` shifted by `shift` lies in each capture.
bool Overlap(const cv::Size& size, const Shift& shift, cv::Rect& inCurrent, cv::Rect& inPrevious)
{
    const int y0 = std::max(0, shift.rows);
    const int y1 = std::min(size.height, size.height + shift.rows);
    const int x0 = std::max(0, shift.cols);
    const int x1 = std::min(size.width, size.width + shift.cols);
    if (y1 <= y0 || x1 <= x0) {
        return false;
    }
    inCurrent = cv::Rect(x0, y0, x1 - x0, y1 - y0);
    inPrevious = inCurrent - cv::Point(shift.cols, shift.rows);
    return true;
}

/// The changed pixels of `current` that show what `previous` showed `shift` away: 255 where
/// they match, within the overlap `inCurrent`. Only pixels that changed in both count: where the
/// shifted place in `previous` did not change, it is the unmoving frame, which the page only
/// scrolls under.
cv::Mat MatchingPixels(const cv::Mat& previous, const cv::Mat& current, const cv::Mat& changed,
                       const cv::Rect& inCurrent, const cv::Rect& inPrevious, int step)
{
    cv::Mat difference;
    cv::absdiff(EveryRow(current(inCurrent), step), EveryRow(previous(inPrevious), step), difference);
    cv::Mat matching;
    cv::compare(difference, kSameTolerance, matching, cv::CMP_LE);
    cv::bitwise_and(matching, EveryRow(changed(inCurrent), step), matching);
    cv::bitwise_and(matching, EveryRow(changed(inPrevious), step), matching);
    return matching;
}

class ShiftJudge {
public:
    ShiftJudge(const cv::Mat& previous, const cv::Mat& current, const cv::Mat& changed, long changedCount)
        : previous_(previous), current_(current), changed_(changed), changedCount_(changedCount)
    {
    }

    /// How many changed pixels of the overlap match, on every `step`-th row.
    Score Judge(const Shift& shift, int step) const
    {
        cv::Rect inCurrent;
        cv::Rect inPrevious;
        if (!Overlap(current_.size(), shift, inCurrent, inPrevious)) {
            return {};
        }
        // Shifts are ranked by the tiles that match nearly in full: repeated content (table rows,
        // similar lines) matches here and there at a wrong shift, the page at the right one
        // everywhere but where something stuck over it; and a dense element moving its own way
        // (a sticky table head coming unstuck) weighs no more than the sparse text it covers.
        Score score;
        const int tiles = (inCurrent.width + kMatchTile - 1) / kMatchTile;
        std::vector<unsigned> tileOverlap(static_cast<std::size_t>(tiles), 0);
        std::vector<unsigned> tileMatched(static_cast<std::size_t>(tiles), 0);
        const auto settleTiles = [&]() {
            for (std::size_t tile = 0; tile < tileOverlap.size(); ++tile) {
                score.overlap += tileOverlap[tile];
                score.matched += tileMatched[tile];
                if (tileOverlap[tile] >= kLeastTilePixels) {
                    ++score.tiles;
                    score.matchedTiles += tileMatched[tile] >= kTileMatchShare * tileOverlap[tile];
                }
                tileOverlap[tile] = 0;
                tileMatched[tile] = 0;
            }
        };
        for (int y = 0; y < inCurrent.height; y += step) {
            if (y > 0 && y / kMatchTile != (y - step) / kMatchTile) {
                settleTiles();
            }
            const unsigned char* now = current_.ptr<unsigned char>(inCurrent.y + y) + inCurrent.x;
            const unsigned char* before = previous_.ptr<unsigned char>(inPrevious.y + y) + inPrevious.x;
            const unsigned char* changedNow = changed_.ptr<unsigned char>(inCurrent.y + y) + inCurrent.x;
            const unsigned char* changedBefore = changed_.ptr<unsigned char>(inPrevious.y + y) + inPrevious.x;
            for (int tile = 0; tile < tiles; ++tile) {
                const int end = std::min(inCurrent.width, (tile + 1) * kMatchTile);
                // Byte arithmetic only, so that the compiler can vectorise it: 255 per counted pixel.
                unsigned overlap = 0;
                unsigned matched = 0;
                for (int x = tile * kMatchTile; x < end; ++x) {
                    const unsigned char both = changedNow[x] & changedBefore[x];
                    const unsigned char difference = now[x] > before[x] ? now[x] - before[x] : before[x] - now[x];
                    overlap += both;
                    matched += difference <= kSameTolerance ? both : 0;
                }
                tileOverlap[static_cast<std::size_t>(tile)] += overlap / 255;
                tileMatched[static_cast<std::size_t>(tile)] += matched / 255;
            }
        }
        settleTiles();
        // A sliver of overlap can match by chance; a real step keeps a fair share of the page.
        if (score.overlap * step < std::max<long>(kMinChangedPixels, changedCount_ / kLeastOverlapShare)) {
            return {};
        }
        return score;
    }

    static double Confidence(const Score& score)
    {
        return static_cast<double>(score.matchedTiles) / static_cast<double>(score.tiles + kTilePrior + 1);
    }

    /// Which of two shifts far apart explains the pair better: by whole tiles.
    static bool Better(const Score& a, const Score& b)
    {
        const double fa = Confidence(a);
        const double fb = Confidence(b);
        return fa > fb || (fa == fb && a.matched > b.matched);
    }

    /// Which of two neighbouring shifts aligns the page exactly: by pixels, since a shift off by
    /// one still matches most of every tile.
    static bool Finer(const Score& a, const Score& b)
    {
        const double fa = a.overlap > 0 ? static_cast<double>(a.matched) / static_cast<double>(a.overlap) : 0.0;
        const double fb = b.overlap > 0 ? static_cast<double>(b.matched) / static_cast<double>(b.overlap) : 0.0;
        return fa > fb || (fa == fb && a.matched > b.matched);
    }

    /// The best shift within `radius` of `from` along one axis (rows when `alongRows`), judged
    /// on every `step`-th row.
    Shift Sweep(Shift from, int radius, bool alongRows, int step = kSweepRowStep) const
    {
        Shift best = from;
        Score bestScore = Judge(from, step);
        for (int offset = -radius; offset <= radius; ++offset) {
            Shift shift = from;
            (alongRows ? shift.rows : shift.cols) += offset;
            const Score score = Judge(shift, step);
            if (Finer(score, bestScore)) {
                best = shift;
                bestScore = score;
            }
        }
        return best;
    }

private:
    const cv::Mat& previous_;
    const cv::Mat& current_;
    const cv::Mat& changed_;
    long changedCount_;
};

/// Every `step`-th column of `image`, as a copy.
cv::Mat EveryColumn(const cv::Mat& image, int step)
{
    cv::Mat thinned;
    cv::resize(image, thinned, cv::Size((image.cols + step - 1) / step, image.rows), 0, 0, cv::INTER_NEAREST);
    return thinned;
}

/// The best few shifts along each allowed axis, every shift that leaves an overlap judged on a
/// sparse grid: for shifts along the rows every row of every few columns (a thin rule or a line
/// of small text spans many columns but few rows), for shifts along the columns the other way.
std::vector<Shift> SweepCandidates(const cv::Mat& previous, const cv::Mat& current, const cv::Mat& changed,
                                   long changedCount, int direction)
{
    std::vector<std::pair<Score, Shift>> scored;
    if (direction != 1) {
        const cv::Mat thinPrevious = EveryColumn(previous, kSparseStep);
        const cv::Mat thinCurrent = EveryColumn(current, kSparseStep);
        const cv::Mat thinChanged = EveryColumn(changed, kSparseStep);
        const ShiftJudge thin(thinPrevious, thinCurrent, thinChanged, cv::countNonZero(thinChanged));
        for (int offset = 1 - current.rows; offset < current.rows; ++offset) {
            scored.emplace_back(thin.Judge(Shift{offset, 0}, 1), Shift{offset, 0});
        }
    }
    if (direction != 0) {
        const ShiftJudge judge(previous, current, changed, changedCount);
        for (int offset = 1 - current.cols; offset < current.cols; ++offset) {
            scored.emplace_back(judge.Judge(Shift{0, offset}, kSparseStep), Shift{0, offset});
        }
    }
    const std::size_t kept = std::min<std::size_t>(kCandidates, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(kept), scored.end(),
                      [](const auto& a, const auto& b) { return ShiftJudge::Better(a.first, b.first); });
    std::vector<Shift> shifts;
    for (std::size_t i = 0; i < kept; ++i) {
        shifts.push_back(scored[i].second);
    }
    return shifts;
}

/// Refines a coarse estimate in its neighbourhood along the allowed axes.
Shift Refine(const ShiftJudge& judge, Shift estimate, int direction, int radius)
{
    if (direction == 0 || direction == 2) {
        estimate = judge.Sweep(estimate, radius, true);
    }
    if (direction == 1 || direction == 2) {
        estimate = judge.Sweep(estimate, radius, false);
    }
    if (direction == 2) {
        // The axes were refined one after the other; settle the corner cases together.
        estimate = judge.Sweep(judge.Sweep(estimate, 1, true), 1, false);
    }
    return estimate;
}

/// The sparse sweep can miss a thin rule or a line of faint text by a pixel: settles the last
/// pixel of the winner on every row.
Shift Settle(const ShiftJudge& judge, Shift estimate, int direction)
{
    if (direction == 0 || direction == 2) {
        estimate = judge.Sweep(estimate, kFineRadius, true, 1);
    }
    if (direction == 1 || direction == 2) {
        estimate = judge.Sweep(estimate, kFineRadius, false, 1);
    }
    return estimate;
}

/// Per-row and per-column counts of the pixels of `current` that changed and that moved with the
/// page.
void CountMovingPixels(const cv::Mat& previous, const cv::Mat& current, const cv::Mat& changed, const Shift& shift,
                       ScrollMeasurement& measurement)
{
    cv::reduce(changed / 255, measurement.changedPerRow, 1, cv::REDUCE_SUM, CV_32S);
    cv::reduce(changed / 255, measurement.changedPerCol, 0, cv::REDUCE_SUM, CV_32S);
    measurement.movingPerRow = cv::Mat::zeros(current.rows, 1, CV_32S);
    measurement.movingPerCol = cv::Mat::zeros(1, current.cols, CV_32S);
    cv::Rect inCurrent;
    cv::Rect inPrevious;
    if (!Overlap(current.size(), shift, inCurrent, inPrevious)) {
        return;
    }
    const cv::Mat matching = MatchingPixels(previous, current, changed, inCurrent, inPrevious, 1) / 255;
    cv::reduce(matching, measurement.movingPerRow.rowRange(inCurrent.y, inCurrent.br().y), 1, cv::REDUCE_SUM, CV_32S);
    cv::reduce(matching, measurement.movingPerCol.colRange(inCurrent.x, inCurrent.br().x), 0, cv::REDUCE_SUM, CV_32S);
}

}  // namespace

ScrollMeasurement MeasureScroll(const cv::Mat& previous, const cv::Mat& current, int direction)
{
    ScrollMeasurement measurement;
    if (direction < 0 || direction > 2) {
        return measurement;
    }
    const cv::Mat changed = ChangedMask(previous, current);
    const long changedCount = cv::countNonZero(changed);
    if (changedCount < std::max<long>(kMinChangedPixels, std::lround(kMinChangedShare * changed.total()))) {
        return measurement;
    }
    const cv::Rect area = ChangedArea(changed);
    measurement.changedArea = area;
    if (area.empty()) {
        return measurement;
    }
    const int factor = std::max(1, (std::max(area.width, area.height) + kCoarseSide - 1) / kCoarseSide);
    const int radius = factor / 2 + 2;
    const ShiftJudge judge(previous, current, changed, changedCount);

    Shift best;
    Score bestScore;
    std::vector<Shift> candidates = CoarseCandidates(previous, current, area, direction);
    for (std::size_t round = 0; round < 2; ++round) {
        std::vector<Shift> judged;
        std::vector<Shift> refinedFrom;
        for (const Shift& candidate : candidates) {
            // A peak next to one refined already would settle on the same shift.
            if (std::any_of(refinedFrom.begin(), refinedFrom.end(), [&](const Shift& done) {
                    return std::abs(done.rows - candidate.rows) <= radius && std::abs(done.cols - candidate.cols) <= radius;
                })) {
                continue;
            }
            refinedFrom.push_back(candidate);
            const Shift refined = Refine(judge, candidate, direction, radius);
            if (std::any_of(judged.begin(), judged.end(), [&](const Shift& done) {
                    return done.rows == refined.rows && done.cols == refined.cols;
                })) {
                continue;  // neighbouring peaks often settle on the same shift
            }
            judged.push_back(refined);
            const Score score = judge.Judge(refined, 1);
            if (ShiftJudge::Better(score, bestScore)) {
                best = refined;
                bestScore = score;
            }
        }
        best = Settle(judge, best, direction);
        bestScore = judge.Judge(best, 1);
        if (bestScore.Fraction() >= kWellExplained) {
            break;
        }
        // Where one capture shows little (a page's blank end), the coarse correlation sees only
        // the other's content: try every shift along each axis on a sparse grid.
        candidates = SweepCandidates(previous, current, changed, changedCount, direction);
    }
    measurement.translation = Translation(best.rows, best.cols);
    measurement.matchedShare = bestScore.Fraction();
    CountMovingPixels(previous, current, changed, best, measurement);
    return measurement;
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
