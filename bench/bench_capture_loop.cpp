// zolt-capture's whole run on a simulated window: a 1280 x 800 view over a real page (the zlib
// how-to's full-page render, four times over), repainting 40 ms after each scroll; 30 captures
// at the default step and a 100 ms settle time, stitched by the page stitcher on two threads and
// written as PNG. The time measured runs from the last grab to the written file: with the pairs
// measured while capturing, and with everything stitched at the end.

#include "CaptureRun.h"
#include "FakeBackend.h"
#include "TempFolder.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCaptures = 30;
const cv::Size kView(1280, 800);
constexpr int kPixelsPerClick = 100;

/// The fake window, noting when it was last grabbed.
class TimedBackend : public ZOLT::Testing::FakeBackend {
public:
    using FakeBackend::FakeBackend;

    cv::Mat Grab(const ZOLT::Capture::Target& target) override
    {
        cv::Mat grab = FakeBackend::Grab(target);
        lastGrab_ = Clock::now();
        return grab;
    }

    Clock::time_point LastGrab() const { return lastGrab_; }

private:
    Clock::time_point lastGrab_;
};

/// Long enough for 30 steps of about half the view.
const cv::Mat& Page()
{
    static const cv::Mat page = [] {
        cv::Mat render = cv::imread(ZOLT_REAL_PAGE, cv::IMREAD_COLOR);
        cv::cvtColor(render, render, cv::COLOR_BGR2RGBA);
        cv::Mat tiled;
        cv::vconcat(std::vector<cv::Mat>(4, render), tiled);
        return tiled;
    }();
    return page;
}

void RunToFile(benchmark::State& state, bool stitchWhileCapturing)
{
    for (auto _ : state) {
        ZOLT::Testing::TempFolder folder;
        ZOLT::CaptureTool::Options options;
        options.output = folder / "page.png";
        options.parameters.maxThreads = 2;
        options.parameters.direction = 0;
        options.scroll.maxCaptures = kCaptures;
        options.scroll.settle = ZOLT::CaptureTool::SettleFor(100ms);
        options.stitchWhileCapturing = stitchWhileCapturing;
        ZOLT::Capture::SystemClock clock;
        ZOLT::Testing::FakeWindow window;
        window.pixelsPerClick = kPixelsPerClick;
        TimedBackend backend(Page(), kView, ZOLT::Capture::Axis::Rows, clock, window);
        std::ostringstream messages;
        ZOLT::Cli::Console console("zolt-capture", messages, messages, ZOLT::Cli::Console::ProgressStyle::Silent);
        ZOLT::CaptureTool::RunCapture(options, backend, clock, console);
        const std::chrono::duration<double> tail = Clock::now() - backend.LastGrab();
        state.SetIterationTime(tail.count());
    }
}

void BM_LastCaptureToFile_StitchWhileCapturing(benchmark::State& state)
{
    RunToFile(state, true);
}

void BM_LastCaptureToFile_StitchAtTheEnd(benchmark::State& state)
{
    RunToFile(state, false);
}

}  // namespace

BENCHMARK(BM_LastCaptureToFile_StitchWhileCapturing)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LastCaptureToFile_StitchAtTheEnd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
