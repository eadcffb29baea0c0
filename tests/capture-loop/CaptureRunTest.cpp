// zolt-capture's whole run on a fake window: the page stitched while it is captured, and a watch
// that went back up put in page order, its saved captures renumbered to match.

#include "CaptureRun.h"
#include "FakeBackend.h"
#include "SyntheticCaptures.h"
#include "TempFolder.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sstream>

namespace ZOLT {
namespace Testing {
namespace {

using namespace std::chrono_literals;

cv::Mat ReadRgba(const std::string& path)
{
    cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (!image.empty()) {
        cv::cvtColor(image, image, cv::COLOR_BGRA2RGBA);
    }
    return image;
}

struct FakeRun {
    TempFolder folder;
    VirtualClock clock;
    FakeBackend window;
    CaptureTool::Options options;
    std::ostringstream messages;

    explicit FakeRun(int start)
        : window(MakePage(cv::Size(320, 1400), 8, false), cv::Size(320, 200), Capture::Axis::Rows, clock, Header(),
                 start)
    {
        options.output = folder / "page.png";
        options.saveFolder = folder / "captures";
        options.parameters.direction = 0;
    }

    static FakeWindow Header()
    {
        FakeWindow window;
        window.header = 24;
        return window;
    }

    void Capture()
    {
        Cli::Console console("zolt-capture", messages, messages, Cli::Console::ProgressStyle::Silent);
        CaptureTool::RunCapture(options, window, clock, console);
    }
};

/// The share of `page`'s pixels that `image` (the same size) shows exactly.
double SameShare(const cv::Mat& image, const cv::Mat& page)
{
    if (image.size() != page.size()) {
        return 0.0;
    }
    cv::Mat difference;
    cv::absdiff(image, page, difference);
    cv::cvtColor(difference, difference, cv::COLOR_RGBA2GRAY);
    return 1.0 - cv::countNonZero(difference) / static_cast<double>(page.total());
}

// The toolbar is the page's own top, so the stitched page is the whole page (the page stitcher
// may miss a pixel or so at the margins).
TEST(CaptureRun, StitchesTheWholePageWhileCapturing)
{
    FakeRun run(0);
    run.Capture();
    EXPECT_GE(SameShare(ReadRgba(run.options.output), run.window.Page()), 0.9999) << run.messages.str();
}

TEST(CaptureRun, PutsAWatchThatWentBackUpInPageOrder)
{
    FakeRun run(600);
    std::vector<int> pageOrder = {600};
    auto at = 0ms;
    for (int position = 680; position < 1280; position += 80) {
        run.window.UserMoves(at += 700ms, std::min(position, 1200));
        pageOrder.push_back(std::min(position, 1200));
    }
    for (int position = 1125; position >= 0; position -= 75) {
        run.window.UserMoves(at += 700ms, position);
        if (position < 600) {
            pageOrder.insert(pageOrder.begin(), position);
        }
    }
    run.options.manual = true;
    run.options.idle = 2s;
    run.Capture();

    EXPECT_GE(SameShare(ReadRgba(run.options.output), run.window.Page()), 0.9999) << run.messages.str();
    for (std::size_t i = 0; i < pageOrder.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "%04zu.png", i + 1);
        const cv::Mat saved = ReadRgba(run.folder / ("captures/" + std::string(name)));
        EXPECT_TRUE(SamePixels(saved, run.window.ViewAt(pageOrder[i]))) << name << " at " << pageOrder[i];
    }
    EXPECT_EQ(run.folder.Entries().size(), 2u);
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
