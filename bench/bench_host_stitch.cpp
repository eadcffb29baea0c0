// A host's whole page stitch of frames it holds as OpenCV gives them (BGR): each frame converted
// to the library's RGBA, the page stitch on two threads, the result converted back to BGR. The
// same work as one zolt.stitch call from Python, so python/bench/overhead.py compares the two on
// the same frames. The frames are the PNG files of the folder that ZOLT_BENCH_FRAMES names, in
// name order; "stitch_only" leaves both conversions out.

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<cv::Mat> Frames()
{
    std::vector<std::string> files;
    if (const char* folder = std::getenv("ZOLT_BENCH_FRAMES")) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".png") {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<cv::Mat> frames;
    for (const std::string& file : files) {
        frames.push_back(cv::imread(file, cv::IMREAD_COLOR));
    }
    return frames;
}

ZOLT::Stitching::StitcherParameters PageParameters()
{
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.direction = 0;
    parameters.maxThreads = 2;
    return parameters;
}

void Stitch(benchmark::State& state, bool convert)
{
    const std::vector<cv::Mat> frames = Frames();
    if (frames.size() < 2) {
        state.SkipWithError("ZOLT_BENCH_FRAMES must name a folder of at least two PNG frames");
        return;
    }
    std::vector<cv::Mat> converted(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        cv::cvtColor(frames[i], converted[i], cv::COLOR_BGR2RGBA);
    }
    ZOLT::Stitching::PageStitcher stitcher(PageParameters());
    for (auto _ : state) {
        ZOLT::BasicImageProvider provider;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            cv::Mat capture = converted[i];
            if (convert) {
                cv::cvtColor(frames[i], capture, cv::COLOR_BGR2RGBA);
            }
            provider.Add(capture);
        }
        cv::Mat result;
        if (!stitcher.Stitch(provider, result, nullptr, 0, 100, false)) {
            state.SkipWithError("stitch failed");
            break;
        }
        cv::Mat bgr;
        if (convert) {
            cv::cvtColor(result, bgr, cv::COLOR_RGBA2BGR);
        }
        benchmark::DoNotOptimize(bgr.data);
        state.counters["result_rows"] = result.rows;
    }
}

void BM_HostPageStitch(benchmark::State& state)
{
    Stitch(state, true);
}

void BM_PageStitchOnly(benchmark::State& state)
{
    Stitch(state, false);
}

}  // namespace

BENCHMARK(BM_HostPageStitch)->Iterations(1)->Repetitions(7)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PageStitchOnly)->Iterations(1)->Repetitions(7)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
