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

constexpr unsigned char kUnset = 255;
/// Captures are ranked by their order in this many steps within one rank of roles.
constexpr int kOrderSteps = 63;

/// A role's preference as a source: an element at its natural place, then whatever followed the
/// page (flat or not), then what no neighbour vouched for.
int RoleRank(unsigned char role)
{
    return role == kNatural ? 0 : role == kUnmatched ? 2 : 1;
}

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

/// Fills every unset run of each row from the known pixels at its two ends, half from each;
/// rows with nothing known copy the nearest filled row.
void FillRows(cv::Mat& image, cv::Mat& cost)
{
    std::vector<bool> empty(static_cast<std::size_t>(image.rows), false);
    for (int y = 0; y < image.rows; ++y) {
        auto* pixel = image.ptr<cv::Vec4b>(y);
        unsigned char* set = cost.ptr<unsigned char>(y);
        for (int x = 0; x < image.cols;) {
            if (set[x] != kUnset) {
                ++x;
                continue;
            }
            int end = x;
            while (end < image.cols && set[end] == kUnset) {
                ++end;
            }
            if (x == 0 && end == image.cols) {
                empty[static_cast<std::size_t>(y)] = true;
                break;
            }
            const int middle = x == 0 ? x : end == image.cols ? end : (x + end) / 2;
            for (int i = x; i < end; ++i) {
                pixel[i] = i < middle ? pixel[x - 1] : pixel[end];
                set[i] = 0;
            }
            x = end;
        }
    }
    const auto firstFilled = std::find(empty.begin(), empty.end(), false);
    if (firstFilled == empty.end()) {
        return;
    }
    int source = static_cast<int>(firstFilled - empty.begin());
    for (int y = 0; y < image.rows; ++y) {
        if (!empty[static_cast<std::size_t>(y)]) {
            source = y;
        } else {
            image.row(source).copyTo(image.row(y));
            cost.row(y).setTo(0);
        }
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

void PageCanvas::AddPage(const cv::Mat& capture, const cv::Mat& roles, std::size_t index)
{
    const cv::Rect box = layout_.PageBox();
    const cv::Point target = box.tl() + layout_.Offset(index);
    // Within a role the earlier capture wins: where the page showed something that later moved
    // over it (a sticky element pushed along by the end of its container), the first sight is
    // the page's own.
    const int order = static_cast<int>(std::min<std::size_t>(index, static_cast<std::size_t>(kOrderSteps)));
    for (int y = 0; y < box.height; ++y) {
        const auto* source = capture.ptr<cv::Vec4b>(box.y + y);
        const unsigned char* role = roles.ptr<unsigned char>(y);
        auto* pixel = image_.ptr<cv::Vec4b>(target.y + y);
        unsigned char* cost = cost_.ptr<unsigned char>(target.y + y);
        for (int x = 0; x < box.width; ++x) {
            if (role[x] == kStatic) {
                continue;
            }
            const int candidate = RoleRank(role[x]) * (kOrderSteps + 1) + order;
            unsigned char& current = cost[target.x + x];
            if (candidate < current) {
                current = static_cast<unsigned char>(candidate);
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

void PageCanvas::FillAcrossMainAxis()
{
    if (layout_.MainAxis() == 0) {
        FillRows(image_, cost_);
        return;
    }
    cv::Mat image;
    cv::Mat cost;
    cv::transpose(image_, image);
    cv::transpose(cost_, cost);
    FillRows(image, cost);
    cv::transpose(image, image_);
    cv::transpose(cost, cost_);
}

cv::Mat PageCanvas::Finish()
{
    FillFrameBands(lowFrame_);
    lowFrame_.release();
    FillAcrossMainAxis();
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
