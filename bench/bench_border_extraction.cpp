// Border handling on a 1080p framed scrolling series: finding the content box and cropping
// every capture (ExtractBorders), and framing a stitched page with the saved strips
// (ApplyBorders). The wrapped stitcher is not part of the figures.

#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int kCaptures = 20;
constexpr int kStep = 300;

ZOLT::Testing::WindowFrame Frame()
{
    ZOLT::Testing::WindowFrame frame;
    frame.titleBar = 30;
    frame.toolbar = 40;
    frame.statusBar = 24;
    frame.leftPanel = 240;
    frame.rightPanel = 200;
    return frame;
}

const ZOLT::Testing::CaptureSeries& Series()
{
    static const ZOLT::Testing::CaptureSeries series = [] {
        const ZOLT::Testing::WindowFrame frame = Frame();
        const cv::Size viewport(1920 - frame.Left() - frame.Right(), 1080 - frame.Top() - frame.Bottom());
        const cv::Mat page =
            ZOLT::Testing::MakePage(cv::Size(viewport.width, viewport.height + (kCaptures - 1) * kStep), 7);
        return ZOLT::Testing::CutSeries(page, viewport, ZOLT::Testing::VerticalOffsets(kCaptures, kStep), frame);
    }();
    return series;
}

ZOLT::BasicImageProvider FreshProvider()
{
    ZOLT::BasicImageProvider provider;
    for (cv::Mat capture : Series().captures) {
        provider.Add(capture);  // extraction replaces the provider's entries, never these pixels
    }
    return provider;
}

void BM_ExtractBorders1080p(benchmark::State& state)
{
    ZOLT::Stitching::BasicBorderDetection detection(nullptr, 20, 3);
    for (auto _ : state) {
        state.PauseTiming();
        ZOLT::BasicImageProvider provider = FreshProvider();
        state.ResumeTiming();
        if (!detection.ExtractBorders(provider)) {
            state.SkipWithError("no borders extracted");
            break;
        }
        benchmark::DoNotOptimize(provider.GetImageAt(0)->data);
    }
    state.counters["captures"] = kCaptures;
}

void BM_ApplyBorders1080p(benchmark::State& state)
{
    ZOLT::Stitching::BasicBorderDetection detection(nullptr, 20, 3);
    ZOLT::BasicImageProvider provider = FreshProvider();
    if (!detection.ExtractBorders(provider)) {
        state.SkipWithError("no borders extracted");
        return;
    }
    const cv::Mat page = Series().CoveredPage();
    for (auto _ : state) {
        cv::Mat image = page;
        if (!detection.ApplyBorders(image)) {
            state.SkipWithError("borders not applied");
            break;
        }
        benchmark::DoNotOptimize(image.data);
    }
    state.counters["result_rows"] = page.rows + Frame().Top() + Frame().Bottom();
}

}  // namespace

BENCHMARK(BM_ExtractBorders1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyBorders1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
