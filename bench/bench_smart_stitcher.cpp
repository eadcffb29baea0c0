// The smart stitcher on full-HD window captures: a whole stitch of a short scrolling series, which
// takes in the region search (one colour comparison per pixel) and the framing of the region.

#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherParameters;

/// A 1920 x 1080 window: title bar, toolbar, status bar and side panels around a scrolling page.
const ZOLT::Testing::CaptureSeries& FullHdSeries()
{
    static const ZOLT::Testing::CaptureSeries series = [] {
        ZOLT::Testing::WindowFrame frame;
        frame.titleBar = 30;
        frame.toolbar = 40;
        frame.statusBar = 24;
        frame.leftPanel = 240;
        frame.rightPanel = 200;
        const cv::Size viewport(1920 - 440, 1080 - 94);
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(viewport.width, viewport.height + 4 * 300), 9);
        return ZOLT::Testing::CutSeries(page, viewport, ZOLT::Testing::VerticalOffsets(5, 300), frame);
    }();
    return series;
}

SmartStitcher MakeStitcher()
{
    const StitcherParameters parameters;
    return SmartStitcher(std::make_shared<ZOLT::Stitching::PhaseCorrelationTranslationDetector>(parameters), parameters,
                         1);
}

void BM_SmartStitch(benchmark::State& state)
{
    cv::setNumThreads(0);
    const auto& series = FullHdSeries();
    ZOLT::BasicImageProvider provider;
    for (cv::Mat capture : series.captures) {
        provider.Add(capture);
    }
    SmartStitcher stitcher = MakeStitcher();
    for (auto _ : state) {
        cv::Mat result;
        benchmark::DoNotOptimize(stitcher.Stitch(provider, result, nullptr, 0, 100, false));
    }
    state.SetLabel(std::to_string(series.captures.size()) + " captures");
}

}  // namespace

BENCHMARK(BM_SmartStitch)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
