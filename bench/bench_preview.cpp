// Latency of one AddCapture for full-HD captures: scaling, correlation against the last capture,
// canvas growth, cropping and blending. Single-threaded: OpenCV's own worker threads are off.

#include "SyntheticCaptures.h"

#include <ZOLT/Preview.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <vector>

namespace {

constexpr int kCaptureWidth = 1920;
constexpr int kCaptureHeight = 1080;
constexpr int kCaptures = 16;
constexpr int kStep = 270;

const std::vector<cv::Mat>& FullHdSeries()
{
    static const std::vector<cv::Mat> captures = [] {
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(kCaptureWidth, kCaptureHeight + kStep * kCaptures), 8);
        return ZOLT::Testing::CutSeries(page, cv::Size(kCaptureWidth, kCaptureHeight),
                                        ZOLT::Testing::VerticalOffsets(kCaptures, kStep))
            .captures;
    }();
    return captures;
}

// Every capture after the first: each grows the canvas at the bottom, the usual case while
// scrolling down a page.
void BM_AddCaptureScrolling(benchmark::State& state)
{
    cv::setNumThreads(0);
    const std::vector<cv::Mat>& captures = FullHdSeries();
    std::int64_t added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ZOLT::Stitching::PreviewImage preview;
        preview.AddCapture(captures.front());
        state.ResumeTiming();
        for (std::size_t index = 1; index < captures.size(); ++index) {
            benchmark::DoNotOptimize(preview.AddCapture(captures[index]));
        }
        added += static_cast<std::int64_t>(captures.size()) - 1;
    }
    // Shown as a time: seconds per added capture.
    state.counters["per_capture"] =
        benchmark::Counter(static_cast<double>(added), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The first capture: scaling and blending only, no correlation.
void BM_AddFirstCapture(benchmark::State& state)
{
    cv::setNumThreads(0);
    const cv::Mat& capture = FullHdSeries().front();
    for (auto _ : state) {
        ZOLT::Stitching::PreviewImage preview;
        benchmark::DoNotOptimize(preview.AddCapture(capture));
    }
}

// A capture that did not move: scaling and correlation, then dropped.
void BM_AddUnmovedCapture(benchmark::State& state)
{
    cv::setNumThreads(0);
    const cv::Mat& capture = FullHdSeries().front();
    ZOLT::Stitching::PreviewImage preview;
    preview.AddCapture(capture);
    for (auto _ : state) {
        benchmark::DoNotOptimize(preview.AddCapture(capture));
    }
}

}  // namespace

BENCHMARK(BM_AddCaptureScrolling)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFirstCapture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddUnmovedCapture)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
