// End-to-end basic stitch of a 1080p vertical scrolling series: seconds per stitch and the
// peak resident memory of the process while stitching, with one and with two detection threads.

#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kCaptures = 20;
constexpr int kStep = 300;
const cv::Size kScreen(1920, 1080);

/// Resident set figures of this process from /proc, in MiB; 0 where they cannot be read.
double StatusMiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
        }
    }
    return 0.0;
}

/// Lets the peak (VmHWM) start again from the current resident size, so each case reports
/// its own peak; kernels without the feature keep the process-wide peak.
void ResetPeakResidentSize()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

ZOLT::BasicImageProvider& Series()
{
    static ZOLT::BasicImageProvider provider = [] {
        const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(kScreen.width, kScreen.height + (kCaptures - 1) * kStep), 7);
        const ZOLT::Testing::CaptureSeries series =
            ZOLT::Testing::CutSeries(page, kScreen, ZOLT::Testing::VerticalOffsets(kCaptures, kStep));
        ZOLT::BasicImageProvider captures;
        for (cv::Mat capture : series.captures) {
            captures.Add(capture);
        }
        return captures;
    }();
    return provider;
}

void BM_BasicStitch1080p(benchmark::State& state)
{
    ZOLT::BasicImageProvider& provider = Series();
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.maxThreads = static_cast<int>(state.range(0));
    ZOLT::Stitching::BasicStitcher stitcher(
        std::make_shared<ZOLT::Stitching::PhaseCorrelationTranslationDetector>(parameters), parameters);

    const double baseline = StatusMiB("VmRSS");
    ResetPeakResidentSize();
    for (auto _ : state) {
        cv::Mat result;
        if (!stitcher.Stitch(provider, result, nullptr, 0, 100, false)) {
            state.SkipWithError("stitch failed");
            break;
        }
        benchmark::DoNotOptimize(result.data);
        state.counters["result_rows"] = result.rows;
    }
    state.counters["rss_before_MiB"] = baseline;
    state.counters["peak_rss_MiB"] = StatusMiB("VmHWM");
    state.SetLabel("maxThreads " + std::to_string(parameters.maxThreads));
}

}  // namespace

BENCHMARK(BM_BasicStitch1080p)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
