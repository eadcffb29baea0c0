// Bad input to the live preview: captures it cannot take, odd captures in the middle of a series,
// canvas sizes and positions at the ends of the int range, boxes of no size. Each row gives the
// codes AddCapture returned and the canvas that remains, or the OpenCV exception of a canvas that
// cannot exist; never a crash.

#include "BadInput.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Preview.h>

#include <gtest/gtest.h>

#include <climits>
#include <utility>

using ZOLT::Stitching::PreviewImage;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Shape;
using ZOLT::Testing::Thrown;
using ZOLT::Testing::WithChannels;
using ZOLT::Testing::WithDepth;

namespace {

/// Captures of 300 x 500 pixels scrolled down by 100 rows each: 50 rows at the preview's scale.
cv::Mat Capture(int index)
{
    static const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(500, 700), 5, false);
    return page(cv::Rect(0, 100 * index, 500, 300)).clone();
}

/// Adds `captures` to `preview` in order; the result is every code and the canvas's size
/// (width x height).
void AddAll(PreviewImage& preview, const std::vector<cv::Mat>& captures, Probe& probe)
{
    for (const cv::Mat& capture : captures) {
        probe.result += std::to_string(static_cast<int>(preview.AddCapture(capture))) + " ";
    }
    const cv::Size canvas = preview.GetPreview().size();
    probe.result += "canvas " + std::to_string(canvas.width) + "x" + std::to_string(canvas.height);
}

std::function<void(Probe&)> Add(std::vector<cv::Mat> captures)
{
    return [=](Probe& probe) {
        PreviewImage preview;
        AddAll(preview, captures, probe);
    };
}

std::function<void(Probe&)> AddTo(cv::Size canvasSize, int initialRow, int initialColumn, std::vector<cv::Mat> captures)
{
    return [=](Probe& probe) {
        PreviewImage preview(canvasSize, initialRow, initialColumn);
        AddAll(preview, captures, probe);
    };
}

/// The preview of the first two captures, scaled into a box; the result is its shape.
std::function<void(Probe&)> Box(int maxWidth, int maxHeight)
{
    return [=](Probe& probe) {
        PreviewImage preview;
        preview.AddCapture(Capture(0));
        preview.AddCapture(Capture(1));
        probe.result = Shape(preview.GetPreview(maxWidth, maxHeight));
    };
}

const std::vector<BadInputCase>& Cases()
{
    static const std::vector<BadInputCase> cases = {
        {"EmptyCapture", Add({cv::Mat()}), Thrown::Nothing, "4 canvas 750x750"},
        {"OneChannel", Add({WithChannels(Capture(0), 1)}), Thrown::Nothing, "4 canvas 750x750"},
        {"TwoChannels", Add({WithChannels(Capture(0), 2)}), Thrown::Nothing, "4 canvas 750x750"},
        {"ThreeChannels", Add({WithChannels(Capture(0), 3)}), Thrown::Nothing, "4 canvas 750x750"},
        {"FiveChannels", Add({WithChannels(Capture(0), 5)}), Thrown::Nothing, "4 canvas 750x750"},
        {"SixteenBit", Add({WithDepth(Capture(0), CV_16U)}), Thrown::Nothing, "4 canvas 750x750"},
        {"FloatSamples", Add({WithDepth(Capture(0), CV_32F)}), Thrown::Nothing, "4 canvas 750x750"},
        // Too flat to give one preview row.
        {"TooFlat", Add({cv::Mat(1, 1000, CV_8UC4, cv::Scalar::all(7))}), Thrown::Nothing, "4 canvas 750x750"},
        // One column scaled to the preview's width: 40 rows become 10,000, and the canvas grows.
        {"OneColumn", Add({cv::Mat(40, 1, CV_8UC4, cv::Scalar::all(7))}), Thrown::Nothing, "0 canvas 750x10250"},
        {"View", Add({Capture(0)(cv::Rect(1, 1, 400, 240)), Capture(1)(cv::Rect(1, 1, 400, 240))}), Thrown::Nothing,
         "0 0 canvas 750x750"},
        {"SameCaptureTwice", Add({Capture(0), Capture(0)}), Thrown::Nothing, "0 1 canvas 750x750"},
        // The odd capture is turned away and the series goes on from the capture before it.
        {"OddTypeInTheMiddle", Add({Capture(0), WithDepth(Capture(1), CV_16U), Capture(1)}), Thrown::Nothing,
         "0 4 0 canvas 750x750"},
        {"EmptyInTheMiddle", Add({Capture(0), cv::Mat(), Capture(1)}), Thrown::Nothing, "0 4 0 canvas 750x750"},
        // Scaled to the series' size like any other capture; measured against the squashed
        // content, the next capture shows no move and is dropped.
        {"OddSizeInTheMiddle", Add({Capture(0), Capture(1)(cv::Rect(0, 0, 500, 150)).clone(), Capture(2)}),
         Thrown::Nothing, "0 0 1 canvas 750x750"},
        {"NegativeCanvasSize", AddTo(cv::Size(-5, -5), 250, 250, {Capture(0)}), Thrown::OpenCv},
        {"ZeroCanvasSize", AddTo(cv::Size(0, 0), 250, 250, {Capture(0)}), Thrown::Nothing, "0 canvas 500x400"},
        {"NegativeInitialPosition", AddTo(cv::Size(750, 750), -100, -100, {Capture(0)}), Thrown::Nothing,
         "0 canvas 850x850"},
        // A canvas taller or wider than a matrix can be: the growth fails and the canvas stays.
        {"SmallestInitialRow", AddTo(cv::Size(750, 750), INT_MIN, 250, {Capture(0)}), Thrown::Nothing,
         "3 canvas 750x750"},
        {"LargestInitialColumn", AddTo(cv::Size(750, 750), 250, INT_MAX, {Capture(0)}), Thrown::Nothing,
         "3 canvas 750x750"},
        {"BoxOfNoSize", Box(0, 0), Thrown::Nothing, "1x1x4"},
        {"NegativeBox", Box(-5, -5), Thrown::Nothing, "1x1x4"},
        {"SmallestBoxWidth", Box(INT_MIN, 10), Thrown::Nothing, "1x1x4"},
        {"LargestBox", Box(INT_MAX, INT_MAX), Thrown::Nothing, "750x750x4"},
        {"MovedFromPreview",
         [](Probe& probe) {
             PreviewImage preview;
             preview.AddCapture(Capture(0));
             PreviewImage taken(std::move(preview));
             probe.result = Shape(preview.GetPreview(100, 100)) + " " + Shape(preview.GetPreview());
         },
         Thrown::Nothing, "1x1x4 empty"},
    };
    return cases;
}

class PreviewBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(PreviewBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, PreviewBadInput, testing::ValuesIn(Cases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
