// The page stitcher against the basic configuration on the same 20-capture 1080p window series
// (title bar, toolbar, status bar, scrollbar), both with two threads: seconds per stitch, and the
// page stitcher's peak resident memory with the captures held in memory.

#include "ProcessMemory.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kCaptures = 20;
constexpr int kStep = 300;
const cv::Size kViewport(1920 - 16, 1080 - 120);

ZOLT::BasicImageProvider& WindowSeries()
{
    static ZOLT::BasicImageProvider provider = [] {
        ZOLT::Testing::WindowFrame frame;
        frame.titleBar = 30;
        frame.toolbar = 60;
        frame.statusBar = 30;
        frame.scrollbar = 16;
        const cv::Mat page =
            ZOLT::Testing::MakePage(cv::Size(kViewport.width, kViewport.height + (kCaptures - 1) * kStep), 7);
        const ZOLT::Testing::CaptureSeries cut =
            ZOLT::Testing::CutSeries(page, kViewport, ZOLT::Testing::VerticalOffsets(kCaptures, kStep), frame);
        ZOLT::BasicImageProvider made;
        for (cv::Mat capture : cut.captures) {
            made.Add(capture);
        }
        return made;
    }();
    return provider;
}

ZOLT::Stitching::StitcherParameters TwoThreads()
{
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.maxThreads = 2;
    return parameters;
}

void BM_PageStitch1080p(benchmark::State& state)
{
    ZOLT::Stitching::PageStitcher stitcher(TwoThreads());
    ZOLT::Bench::RunStitches(state, stitcher, WindowSeries());
}

void BM_BasicStitch1080p(benchmark::State& state)
{
    const auto stitcher = ZOLT::Stitching::StitcherFactory::CreateBasicStitcher(TwoThreads());
    ZOLT::Bench::RunStitches(state, *stitcher, WindowSeries());
}

}  // namespace

BENCHMARK(BM_PageStitch1080p)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BasicStitch1080p)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
