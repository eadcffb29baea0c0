// Peak memory of translation detection, measured in a fresh process for every figure: the
// benchmark runs this program again with a measuring argument, and the child reports how far
// its peak resident set (VmHWM) rose above its resident set before the detection.
//
//   peak_MiB for a pair:   the memory one pair worker needs (one correlation, fresh detector)
//   peak_MiB for a series: the whole detection over a 20-capture 1080p series

#include "ProcessMemory.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <cmath>
#include <string>

namespace {

template <typename Detection>
int ReportPeakRise(Detection&& detection)
{
    cv::setNumThreads(0);
    if (!ZOLT::Bench::ResetPeakResident()) {
        std::printf("-1\n");
        return 1;
    }
    const long before = std::lround(ZOLT::Bench::StatusMiB("VmRSS") * 1024.0);
    detection();
    const long peak = std::lround(ZOLT::Bench::StatusMiB("VmHWM") * 1024.0);
    std::printf("%ld\n", peak - before);
    return 0;
}

int MeasurePair(int width, int height, int direction)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(width, height * 2), 5);
    const cv::Mat first = page(cv::Rect(0, 100, width, height)).clone();
    const cv::Mat second = page(cv::Rect(0, 100 + height / 3, width, height)).clone();
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = direction;
    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
    return ReportPeakRise([&] { benchmark::DoNotOptimize(detector.DetectTranslation(first, second, nullptr)); });
}

int MeasureSeries(int threads)
{
    constexpr int captures = 20;
    constexpr int step = 180;
    const cv::Size viewport(1920, 1080);
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(viewport.width, viewport.height + captures * step), 9);
    ZOLT::Testing::CaptureSeries series =
        ZOLT::Testing::CutSeries(page, viewport, ZOLT::Testing::VerticalOffsets(captures, step));
    ZOLT::BasicImageProvider provider;
    for (cv::Mat& capture : series.captures) {
        provider.Add(capture);
    }
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.maxThreads = threads;
    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector(parameters);
    return ReportPeakRise([&] { benchmark::DoNotOptimize(detector.DetectTranslation(provider, nullptr, 0, 100)); });
}

/// Runs this program again with `arguments` and reads the KiB figure it prints.
long MeasureInChild(const std::string& arguments)
{
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        return -1;
    }
    const std::string command = "'" + std::string(self, static_cast<std::size_t>(length)) + "' " + arguments;
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        return -1;
    }
    long kib = -1;
    if (std::fscanf(child, "%ld", &kib) != 1) {
        kib = -1;
    }
    return pclose(child) == 0 ? kib : -1;
}

void Report(benchmark::State& state, const std::string& arguments)
{
    long kib = -1;
    for (auto _ : state) {
        kib = MeasureInChild(arguments);
    }
    if (kib < 0) {
        state.SkipWithError("measurement failed");
        return;
    }
    state.counters["peak_MiB"] = static_cast<double>(kib) / 1024.0;
}

void BM_PairPeakMemory(benchmark::State& state)
{
    Report(state, "--measure-pair " + std::to_string(state.range(0)) + " " + std::to_string(state.range(1)) + " " +
                      std::to_string(state.range(2)));
}

void BM_SeriesPeakMemory(benchmark::State& state)
{
    Report(state, "--measure-series " + std::to_string(state.range(0)));
}

}  // namespace

BENCHMARK(BM_PairPeakMemory)
    ->Args({1280, 800, 0})
    ->Args({1280, 800, 2})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesPeakMemory)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--measure-pair") {
        return MeasurePair(std::stoi(argv[2]), std::stoi(argv[3]), std::stoi(argv[4]));
    }
    if (argc == 3 && std::string(argv[1]) == "--measure-series") {
        return MeasureSeries(std::stoi(argv[2]));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
