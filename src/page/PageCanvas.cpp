// Page canvas: every output pixel from its best source, then the gaps filled from their sides.

#include "page/PageCanvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ZOLT {
namespace Stitching {
namespace Page {

namespace {

constexpr unsigned char kUnset = kNeverSource;
/// Known pixels on either side of a gap whose most common colour may fill it.
constexpr int kFillSamples = 48;

std::uint32_t Pack(const cv::Vec4b& pixel)
{
    std::uint32_t packed = 0;
    std::memcpy(&packed, pixel.val, sizeof packed);
    return packed;
}

cv::Vec4b Unpack(std::uint32_t packed)
{
    cv::Vec4b pixel;
    std::memcpy(pixel.val, &packed, sizeof packed);
    return pixel;
}

/// The colour found most often among `pixels`.
cv::Vec4b MostCommon(std::vector<std::uint32_t> pixels)
{
    if (pixels.empty()) {
        return {};
    }
    std::sort(pixels.begin(), pixels.end());
    std::uint32_t best = pixels.front();
    std::size_t bestRun = 0;
    for (std::size_t start = 0; start < pixels.size();) {
        std::size_t end = start;
        while (end < pixels.size() && pixels[end] == pixels[start]) {
            ++end;
        }
        if (end - start > bestRun) {
            bestRun = end - start;
            best = pixels[start];
        }
        start = end;
    }
    return Unpack(best);
}

/// A gap along a column: rows [start, end) of column x are unset.
struct Gap {
    int x;
    int start;
    int end;
};

/// The unset runs of every column, found row by row.
std::vector<Gap> ColumnGaps(const cv::Mat& cost)
{
    std::vector<Gap> gaps;
    std::vector<int> open(static_cast<std::size_t>(cost.cols), -1);
    for (int y = 0; y <= cost.rows; ++y) {
        const unsigned char* set = y < cost.rows ? cost.ptr<unsigned char>(y) : nullptr;
        for (int x = 0; x < cost.cols; ++x) {
            int& start = open[static_cast<std::size_t>(x)];
            const bool unset = set != nullptr && set[x] == kUnset;
            if (unset && start < 0) {
                start = y;
            } else if (!unset && start >= 0) {
                gaps.push_back({x, start, y});
                start = -1;
            }
        }
    }
    return gaps;
}

/// The most common colour among the nearest known pixels of column x from row `from` on, going
/// `step`, and the share of them it has; no share when there are none.
std::pair<cv::Vec4b, double> ColumnMode(const cv::Mat& image, const cv::Mat& cost, int x, int from, int step)
{
    std::vector<std::uint32_t> pixels;
    for (int y = from; y >= 0 && y < image.rows && pixels.size() < static_cast<std::size_t>(kFillSamples); y += step) {
        if (cost.at<unsigned char>(y, x) != kUnset) {
            pixels.push_back(Pack(image.at<cv::Vec4b>(y, x)));
        }
    }
    if (pixels.empty()) {
        return {cv::Vec4b(), 0.0};
    }
    const std::size_t count = pixels.size();
    const cv::Vec4b mode = MostCommon(pixels);
    const std::uint32_t packed = Pack(mode);
    const auto same = std::count(pixels.begin(), pixels.end(), packed);
    return {mode, static_cast<double>(same) / static_cast<double>(count)};
}

/// Fills what no capture showed along the columns: a gap between two equal pixels with their
/// colour, any other with the most common colour of the side that is more uniform. What hides the
/// page for a whole series (a stuck sidebar, a fixed navigation column) leaves gaps in the page's
/// own background, which goes on past them; what an element itself shows ends with it. Columns
/// with nothing known copy the nearest filled column.
void FillColumns(cv::Mat& image, cv::Mat& cost)
{
    for (const Gap& gap : ColumnGaps(cost)) {
        if (gap.start == 0 && gap.end == image.rows) {
            continue;
        }
        cv::Vec4b colour;
        const bool above = gap.start > 0;
        const bool below = gap.end < image.rows;
        if (above && below && image.at<cv::Vec4b>(gap.start - 1, gap.x) == image.at<cv::Vec4b>(gap.end, gap.x)) {
            colour = image.at<cv::Vec4b>(gap.end, gap.x);
        } else {
            const auto [upper, upperShare] = ColumnMode(image, cost, gap.x, gap.start - 1, -1);
            const auto [lower, lowerShare] = ColumnMode(image, cost, gap.x, gap.end, +1);
            colour = lowerShare >= upperShare ? lower : upper;
        }
        for (int y = gap.start; y < gap.end; ++y) {
            image.at<cv::Vec4b>(y, gap.x) = colour;
        }
    }
    for (const Gap& gap : ColumnGaps(cost)) {
        if (gap.start == 0 && gap.end == image.rows) {
            continue;
        }
        for (int y = gap.start; y < gap.end; ++y) {
            cost.at<unsigned char>(y, gap.x) = 0;
        }
    }
    // Columns that no capture reached at all.
    std::vector<int> filled;
    for (int x = 0; x < image.cols; ++x) {
        if (cost.at<unsigned char>(0, x) != kUnset) {
            filled.push_back(x);
        }
    }
    if (filled.empty()) {
        return;
    }
    for (int x = 0; x < image.cols; ++x) {
        if (cost.at<unsigned char>(0, x) != kUnset) {
            continue;
        }
        const auto next = std::lower_bound(filled.begin(), filled.end(), x);
        const int source = next == filled.end() ? filled.back()
                           : next == filled.begin() ? *next
                           : (x - *(next - 1) <= *next - x ? *(next - 1) : *next);
        image.col(source).copyTo(image.col(x));
        cost.col(x).setTo(0);
    }
}

}  // namespace

PageLayout::PageLayout(const cv::Size& captureSize, const cv::Rect& pageBox, const std::vector<cv::Point>& positions)
    : capture_(captureSize), pageBox_(pageBox)
{
    cv::Point lowest(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
    cv::Point highest(std::numeric_limits<int>::min(), std::numeric_limits<int>::min());
    for (const cv::Point& position : positions) {
        lowest = cv::Point(std::min(lowest.x, position.x), std::min(lowest.y, position.y));
        highest = cv::Point(std::max(highest.x, position.x), std::max(highest.y, position.y));
    }
    const cv::Point span = highest - lowest;
    mainAxis_ = span.y >= span.x ? 0 : 1;
    for (std::size_t index = 0; index < positions.size(); ++index) {
        offsets_.push_back(positions[index] - lowest);
        const auto along = [this](const cv::Point& p) { return mainAxis_ == 0 ? p.y : p.x; };
        if (along(positions[index]) < along(positions[low_])) {
            low_ = index;
        }
        if (along(positions[index]) > along(positions[high_])) {
            high_ = index;
        }
    }
    pageArea_ = cv::Rect(pageBox.x, pageBox.y, pageBox.width + span.x, pageBox.height + span.y);
    output_ = cv::Size(captureSize.width + span.x, captureSize.height + span.y);
}

PageCanvas::PageCanvas(const PageLayout& layout, int type)
    : layout_(layout),
      image_(cv::Mat::zeros(layout.OutputSize(), type)),
      cost_(layout.OutputSize(), CV_8U, cv::Scalar(kUnset))
{
}

void PageCanvas::CopyFrameBand(const cv::Mat& capture, std::size_t index, const cv::Rect& band)
{
    const cv::Point offset = layout_.Offset(index);
    const cv::Rect target = band & cv::Rect(offset, capture.size());
    const cv::Rect page = layout_.PageArea();
    for (int y = target.y; y < target.y + target.height; ++y) {
        const auto* source = capture.ptr<cv::Vec4b>(y - offset.y);
        auto* pixel = image_.ptr<cv::Vec4b>(y);
        unsigned char* cost = cost_.ptr<unsigned char>(y);
        for (int x = target.x; x < target.x + target.width; ++x) {
            if (cost[x] == kUnset && !page.contains(cv::Point(x, y))) {
                pixel[x] = source[x - offset.x];
                cost[x] = 0;
            }
        }
    }
}

void PageCanvas::AddFrame(const cv::Mat& capture, std::size_t index)
{
    const cv::Rect page = layout_.PageArea();
    const cv::Size size = layout_.OutputSize();
    const bool rows = layout_.MainAxis() == 0;
    if (index == layout_.LowCapture()) {
        // Before the page and beside it: what the low capture shows there, once, its scrollbar
        // thumb included; what it shows past the page's far end belongs to the high capture.
        const cv::Point reach = layout_.Offset(index) + layout_.PageBox().br();
        CopyFrameBand(capture, index, rows ? cv::Rect(0, 0, size.width, reach.y) : cv::Rect(0, 0, reach.x, size.height));
        lowFrame_ = capture;
    }
    if (index == layout_.HighCapture()) {
        CopyFrameBand(capture, index,
                      rows ? cv::Rect(0, page.br().y, size.width, size.height - page.br().y)
                           : cv::Rect(page.br().x, 0, size.width - page.br().x, size.height));
    }
}

void PageCanvas::AddPage(const cv::Mat& capture, const cv::Mat& costs, std::size_t index)
{
    const cv::Rect box = layout_.PageBox();
    const cv::Point target = box.tl() + layout_.Offset(index);
    for (int y = 0; y < box.height; ++y) {
        const auto* source = capture.ptr<cv::Vec4b>(box.y + y);
        const unsigned char* candidate = costs.ptr<unsigned char>(y);
        auto* pixel = image_.ptr<cv::Vec4b>(target.y + y);
        unsigned char* cost = cost_.ptr<unsigned char>(target.y + y);
        for (int x = 0; x < box.width; ++x) {
            if (candidate[x] < cost[target.x + x]) {
                cost[target.x + x] = candidate[x];
                pixel[target.x + x] = source[box.x + x];
            }
        }
    }
}

void PageCanvas::FillFrameBands(const cv::Mat& lowCapture)
{
    if (lowCapture.empty()) {
        return;
    }
    // Beside the page, past the low capture's reach: each band line's most common colour (the
    // scrollbar's track, a side panel's background) rather than copies of what the line shows.
    const cv::Rect box = layout_.PageBox();
    const cv::Rect page = layout_.PageArea();
    const cv::Point offset = layout_.Offset(layout_.LowCapture());
    const bool rows = layout_.MainAxis() == 0;
    const int lines = rows ? image_.cols : image_.rows;
    for (int line = 0; line < lines; ++line) {
        const bool inside = rows ? (line >= page.x && line < page.br().x) : (line >= page.y && line < page.br().y);
        const int sourceLine = line - (rows ? offset.x : offset.y);
        if (inside || sourceLine < 0 || sourceLine >= (rows ? lowCapture.cols : lowCapture.rows)) {
            continue;
        }
        std::vector<std::uint32_t> pixels;
        for (int i = rows ? box.y : box.x; i < (rows ? box.br().y : box.br().x); ++i) {
            pixels.push_back(
                Pack(rows ? lowCapture.at<cv::Vec4b>(i, sourceLine) : lowCapture.at<cv::Vec4b>(sourceLine, i)));
        }
        const cv::Vec4b colour = MostCommon(std::move(pixels));
        for (int i = rows ? page.y : page.x; i < (rows ? page.br().y : page.br().x); ++i) {
            const int y = rows ? i : line;
            const int x = rows ? line : i;
            if (cost_.at<unsigned char>(y, x) == kUnset) {
                image_.at<cv::Vec4b>(y, x) = colour;
                cost_.at<unsigned char>(y, x) = 0;
            }
        }
    }
}

void PageCanvas::FillAlongMainAxis()
{
    if (layout_.MainAxis() == 0) {
        FillColumns(image_, cost_);
        return;
    }
    cv::Mat image;
    cv::Mat cost;
    cv::transpose(image_, image);
    cv::transpose(cost_, cost);
    FillColumns(image, cost);
    cv::transpose(image, image_);
    cv::transpose(cost, cost_);
}

cv::Mat PageCanvas::Finish()
{
    FillFrameBands(lowFrame_);
    lowFrame_.release();
    FillAlongMainAxis();
    // Screens show no transparency; neither does the page.
    cv::Mat alpha(image_.size(), CV_8U, cv::Scalar(255));
    const int channels[] = {0, 3};
    cv::mixChannels(&alpha, 1, &image_, 1, channels, 1);
    cost_.release();
    return std::move(image_);
}

}  // namespace Page
}  // namespace Stitching
}  // namespace ZOLT
