#include "SyntheticCaptures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <random>
#include <string>

namespace ZOLT {
namespace Testing {

namespace {

/// Deterministic draws that do not depend on the standard library's distributions.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : engine_(seed) {}

    int Between(int low, int high) { return low + static_cast<int>(engine_() % static_cast<std::uint32_t>(high - low + 1)); }
    bool Chance(int percent) { return Between(0, 99) < percent; }

    cv::Scalar Colour(int low, int high)
    {
        return cv::Scalar(Between(low, high), Between(low, high), Between(low, high), 255);
    }

    std::string Word(int minLength, int maxLength)
    {
        static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        const int length = Between(minLength, maxLength);
        std::string word;
        for (int i = 0; i < length; ++i) {
            word += letters[Between(0, i == 0 ? 51 : 61)];
        }
        return word;
    }

private:
    std::mt19937 engine_;
};

const cv::Scalar kPaper(246, 244, 240, 255);
const cv::Scalar kInk(30, 30, 36, 255);

/// Writes words from `left` until the line is full.
void DrawTextLine(cv::Mat& page, Dice& dice, int left, int right, int baseline, int font, double scale,
                  const cv::Scalar& colour)
{
    int x = left;
    while (true) {
        const std::string word = dice.Word(1, 11);
        int ignored = 0;
        const cv::Size extent = cv::getTextSize(word, font, scale, 1, &ignored);
        if (x + extent.width > right) {
            break;
        }
        cv::putText(page, word, cv::Point(x, baseline), font, scale, colour, 1, cv::LINE_AA);
        x += extent.width + dice.Between(6, 12);
        if (dice.Chance(4)) {
            break;  // a short last line of a paragraph
        }
    }
}

int DrawHeading(cv::Mat& page, Dice& dice, int y, int margin)
{
    const double scale = 0.9 + dice.Between(0, 5) * 0.1;
    const int height = static_cast<int>(34 * scale);
    std::string title = dice.Word(4, 10);
    for (int words = dice.Between(1, 4); words > 0; --words) {
        title += " " + dice.Word(2, 9);
    }
    cv::putText(page, title, cv::Point(margin, y + height - 8), cv::FONT_HERSHEY_DUPLEX, scale,
                cv::Scalar(120, 50, 20, 255), 2, cv::LINE_AA);
    return height + 12;
}

int DrawParagraph(cv::Mat& page, Dice& dice, int y, int margin)
{
    const int lines = dice.Between(2, 9);
    const int indent = dice.Chance(30) ? 30 : 0;
    for (int line = 0; line < lines; ++line) {
        DrawTextLine(page, dice, margin + (line == 0 ? indent : 0), page.cols - margin, y + 21 * line + 15,
                     cv::FONT_HERSHEY_SIMPLEX, 0.5, kInk);
    }
    return 21 * lines + dice.Between(8, 20);
}

int DrawCodeBlock(cv::Mat& page, Dice& dice, int y, int margin)
{
    const int lines = dice.Between(3, 12);
    const int height = lines * 18 + 16;
    const int right = page.cols - margin - dice.Between(0, page.cols / 4);
    const cv::Rect block(margin, y, std::max(1, right - margin), height);
    cv::rectangle(page, block, cv::Scalar(232, 236, 238, 255), cv::FILLED);
    cv::rectangle(page, block, cv::Scalar(200, 205, 210, 255), 1);
    for (int line = 0, indent = 0; line < lines; ++line) {
        indent = std::max(0, std::min(4, indent + dice.Between(-1, 1)));
        DrawTextLine(page, dice, margin + 10 + indent * 24, right - 10, y + 21 + 18 * line, cv::FONT_HERSHEY_PLAIN,
                     1.0, cv::Scalar(40, 90, 20, 255));
    }
    return height + dice.Between(10, 20);
}

int DrawPicture(cv::Mat& page, Dice& dice, int y, int margin)
{
    const int width = std::min(page.cols - 2 * margin, dice.Between(page.cols / 5, page.cols / 2));
    const int height = dice.Between(80, 220);
    const int left = margin + dice.Between(0, std::max(0, page.cols - 2 * margin - width));
    const cv::Scalar from = dice.Colour(40, 220);
    const cv::Scalar to = dice.Colour(40, 220);
    cv::Mat picture = page(cv::Rect(left, y, width, std::min(height, page.rows - y)));
    for (int row = 0; row < picture.rows; ++row) {
        const double t = static_cast<double>(row) / std::max(1, picture.rows - 1);
        picture.row(row).setTo(from * (1.0 - t) + to * t);
    }
    for (int shapes = dice.Between(3, 9); shapes > 0; --shapes) {
        const cv::Point centre(dice.Between(0, width - 1), dice.Between(0, height - 1));
        if (dice.Chance(50)) {
            cv::circle(picture, centre, dice.Between(5, 40), dice.Colour(0, 255), cv::FILLED, cv::LINE_AA);
        } else {
            cv::line(picture, centre, cv::Point(dice.Between(0, width - 1), dice.Between(0, height - 1)),
                     dice.Colour(0, 255), dice.Between(1, 4), cv::LINE_AA);
        }
    }
    return std::min(height, page.rows - y) + dice.Between(12, 24);
}

void AddNoise(cv::Mat& page, std::uint32_t seed)
{
    cv::Mat noise(page.size(), CV_8UC4);
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::UNIFORM, cv::Scalar(0, 0, 0, 0), cv::Scalar(4, 4, 4, 1));
    cv::subtract(page, noise, page);
}

cv::Mat MakeFrame(cv::Size window, const cv::Rect& viewport, const WindowFrame& frame, std::uint32_t seed)
{
    Dice dice(seed);
    cv::Mat capture(window, CV_8UC4, cv::Scalar(210, 210, 210, 255));
    if (frame.titleBar > 0) {
        cv::Mat bar = capture(cv::Rect(0, 0, window.width, frame.titleBar));
        bar.setTo(cv::Scalar(60, 48, 40, 255));
        cv::putText(bar, dice.Word(5, 9) + " - " + dice.Word(4, 8), cv::Point(12, frame.titleBar * 2 / 3),
                    cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(240, 240, 240, 255), 1, cv::LINE_AA);
    }
    if (frame.toolbar > 0) {
        cv::Mat bar = capture(cv::Rect(0, frame.titleBar, window.width, frame.toolbar));
        bar.setTo(cv::Scalar(236, 232, 228, 255));
        for (int x = 8; x + 24 < window.width / 3; x += 32) {
            cv::rectangle(bar, cv::Rect(x, 4, 22, std::max(1, frame.toolbar - 8)), dice.Colour(60, 200), cv::FILLED);
        }
        cv::rectangle(bar, cv::Rect(window.width / 3, 4, window.width / 2, std::max(1, frame.toolbar - 8)),
                      cv::Scalar(255, 255, 255, 255), cv::FILLED);
        cv::putText(bar, "http://" + dice.Word(4, 8) + "/" + dice.Word(3, 9),
                    cv::Point(window.width / 3 + 6, frame.toolbar * 2 / 3), cv::FONT_HERSHEY_SIMPLEX, 0.45, kInk, 1,
                    cv::LINE_AA);
    }
    if (frame.statusBar > 0) {
        cv::Mat bar = capture(cv::Rect(0, window.height - frame.statusBar, window.width, frame.statusBar));
        bar.setTo(cv::Scalar(200, 196, 190, 255));
        cv::putText(bar, dice.Word(4, 8) + " " + dice.Word(2, 6), cv::Point(8, frame.statusBar * 3 / 4),
                    cv::FONT_HERSHEY_PLAIN, 0.9, kInk, 1, cv::LINE_AA);
    }
    const auto drawPanel = [&](int left, int width) {
        cv::Mat panel = capture(cv::Rect(left, viewport.y, width, viewport.height));
        panel.setTo(cv::Scalar(226, 230, 222, 255));
        for (int y = 20; y < panel.rows; y += 22) {
            cv::putText(panel, dice.Word(3, 8), cv::Point(6, y), cv::FONT_HERSHEY_PLAIN, 0.9,
                        cv::Scalar(90, 60, 30, 255), 1, cv::LINE_AA);
        }
    };
    if (frame.leftPanel > 0) {
        drawPanel(0, frame.leftPanel);
    }
    if (frame.rightPanel > 0) {
        drawPanel(viewport.x + viewport.width + frame.scrollbar, frame.rightPanel);
    }
    if (frame.scrollbar > 0) {
        capture(cv::Rect(viewport.x + viewport.width, viewport.y, frame.scrollbar, viewport.height))
            .setTo(cv::Scalar(241, 241, 241, 255));
    }
    return capture;
}

void DrawScrollbarThumb(cv::Mat& capture, const cv::Rect& viewport, const WindowFrame& frame, int offsetY,
                        int pageRows)
{
    if (frame.scrollbar <= 0) {
        return;
    }
    const int track = viewport.height;
    const int thumb = std::max(12, track * viewport.height / std::max(1, pageRows));
    const int range = std::max(1, pageRows - viewport.height);
    const int top = viewport.y + (track - thumb) * std::min(offsetY, range) / range;
    cv::rectangle(capture, cv::Rect(viewport.x + viewport.width + 2, top, std::max(1, frame.scrollbar - 4), thumb),
                  cv::Scalar(150, 150, 150, 255), cv::FILLED);
}

}  // namespace

cv::Mat MakePage(cv::Size size, std::uint32_t seed, bool noise)
{
    Dice dice(seed);
    cv::Mat page(size, CV_8UC4, kPaper);
    const int margin = std::max(8, size.width / 24);
    int y = 10;
    while (y < size.height - 40) {
        const int kind = dice.Between(0, 99);
        if (kind < 18) {
            y += DrawHeading(page, dice, y, margin);
        } else if (kind < 66) {
            y += DrawParagraph(page, dice, y, margin);
        } else if (kind < 84) {
            y += DrawCodeBlock(page, dice, y, margin);
        } else {
            y += DrawPicture(page, dice, y, margin);
        }
    }
    if (noise) {
        AddNoise(page, seed);
    }
    return page;
}

CaptureSeries CutSeries(const cv::Mat& page, cv::Size viewport, const std::vector<cv::Point>& offsets,
                        const WindowFrame& frame, std::uint32_t frameSeed)
{
    CaptureSeries series;
    series.page = page;
    series.offsets = offsets;
    series.frame = frame;
    series.viewportRect = cv::Rect(frame.Left(), frame.Top(), viewport.width, viewport.height);
    const cv::Size window(viewport.width + frame.Left() + frame.Right(), viewport.height + frame.Top() + frame.Bottom());
    const cv::Mat windowFrame = MakeFrame(window, series.viewportRect, frame, frameSeed);
    for (const cv::Point& offset : offsets) {
        cv::Mat capture = windowFrame.clone();
        page(cv::Rect(offset, viewport)).copyTo(capture(series.viewportRect));
        DrawScrollbarThumb(capture, series.viewportRect, frame, offset.y, page.rows);
        series.captures.push_back(capture);
    }
    return series;
}

std::vector<Stitching::Translation> CaptureSeries::Translations() const
{
    std::vector<Stitching::Translation> translations;
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        translations.emplace_back(-(offsets[i].y - offsets[i - 1].y), -(offsets[i].x - offsets[i - 1].x));
    }
    return translations;
}

cv::Rect CaptureSeries::CoveredPageRect() const
{
    cv::Rect covered;
    for (const cv::Point& offset : offsets) {
        const cv::Rect view(offset, viewportRect.size());
        covered = covered.area() == 0 ? view : (covered | view);
    }
    return covered;
}

std::vector<cv::Point> OffsetsFromSteps(cv::Point start, const std::vector<cv::Point>& steps)
{
    std::vector<cv::Point> offsets{start};
    for (const cv::Point& step : steps) {
        offsets.push_back(offsets.back() + step);
    }
    return offsets;
}

std::vector<cv::Point> VerticalOffsets(int count, int step, cv::Point start)
{
    return OffsetsFromSteps(start, std::vector<cv::Point>(std::max(0, count - 1), cv::Point(0, step)));
}

std::vector<cv::Point> HorizontalOffsets(int count, int step, cv::Point start)
{
    return OffsetsFromSteps(start, std::vector<cv::Point>(std::max(0, count - 1), cv::Point(step, 0)));
}

std::vector<cv::Mat> DeepCopies(const std::vector<cv::Mat>& captures)
{
    std::vector<cv::Mat> copies(captures.size());
    std::transform(captures.begin(), captures.end(), copies.begin(), [](const cv::Mat& m) { return m.clone(); });
    return copies;
}

}  // namespace Testing
}  // namespace ZOLT
