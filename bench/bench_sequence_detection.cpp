// Translation detection over a 20-capture 1080p series held in memory, with one and with two
// pair workers. OpenCV's own worker threads are switched off, so the workers are the only
// parallelism. Each iteration uses a fresh detector, as a fresh stitcher would.

#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

namespace {

constexpr int CAPTURES = 20;
constexpr int STEP = 180;

ZOLT::BasicImageProvider& Series1080p()
{
    static ZOLT::BasicImageProvider provider = [] {
        const cv::Size viewport(1920, 1080);
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(viewport.width, viewport.height + CAPTURES * STEP), 9);
        ZOLT::Testing::CaptureSeries series =
            ZOLT::Testing::CutSeries(page, viewport, ZOLT::Testing::VerticalOffsets(CAPTURES, STEP));
        ZOLT::BasicImageProvider captures;
        for (cv::Mat& capture : series.captures) {
            captures.Add(capture);
        }
        return captures;
    }();
    return provider;
}

void BM_DetectSeries(benchmark::State& state)
{
    cv::setNumThreads(0);
    ZOLT::BasicImageProvider& provider = Series1080p();
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = 2;
    parameters.maxThreads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
        const std::vector<ZOLT::Stitching::Translation> translations =
            detector.DetectTranslation(provider, nullptr, 0, 100);
        if (translations.size() != CAPTURES - 1 || translations.front() != ZOLT::Stitching::Translation(-STEP, 0)) {
            state.SkipWithError("wrong translations");
        }
    }
    state.SetLabel("20 captures 1920x1080, maxThreads " + std::to_string(parameters.maxThreads));
}

}  // namespace

BENCHMARK(BM_DetectSeries)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
