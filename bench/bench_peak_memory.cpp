// Peak resident memory of every stitcher configuration over a long real series held in the
// memory-bounded store, against the goal
//
//     store budget + 2 x result + 3 captures + threads x one pair's working set.
//
// The series is 53 captures of 1280 x 800 pixels cut from a real page of the capture samples,
// scrolled by about 58 rows each, stitched vertically on 2 threads with a 20 MiB budget. Each
// configuration runs in a child process of its own, so that no allocation of one is counted
// for the next. Reported: the peak over the child's resident size before the store was filled
// ("peak_MiB"), the goal ("goal_MiB") and whether the peak stays within it ("within_goal").

#include "ProcessMemory.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace Stitching = ZOLT::Stitching;

constexpr double MIB = 1024.0 * 1024.0;
constexpr int CAPTURES = 53;
constexpr int THREADS = 2;
constexpr std::size_t BUDGET = 20 * 1024 * 1024;
const cv::Size CAPTURE(1280, 800);

using MakeStitcher = std::function<std::shared_ptr<Stitching::IStitcher>(const Stitching::StitcherParameters&)>;

/// What a child process sends back.
struct Figures {
    double peakMiB = 0.0;
    double resultMiB = 0.0;
    bool stitched = false;
};

/// A folder for spill files, removed with its contents.
class SpillFolder {
public:
    SpillFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zolt-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a spill folder");
        }
        folder_ = pattern;
    }
    SpillFolder(const SpillFolder&) = delete;
    SpillFolder& operator=(const SpillFolder&) = delete;
    ~SpillFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string Prefix() const { return (folder_ / "").string(); }

private:
    std::filesystem::path folder_;
};

/// Cuts the series from the page and adds it to the store; the page is gone when it returns.
void FillStore(Stitching::MemoryEfficientImageProvider& store)
{
    cv::Mat page = cv::imread(ZOLT_REAL_CAPTURES "/zlib-howto-tail-1280x800/fullpage.png", cv::IMREAD_UNCHANGED);
    if (page.empty() || page.cols != CAPTURE.width) {
        throw std::runtime_error("the sample page cannot be read");
    }
    cv::cvtColor(page, page, cv::COLOR_BGRA2RGBA);
    const int step = (page.rows - CAPTURE.height) / (CAPTURES - 1);
    for (int i = 0; i < CAPTURES; ++i) {
        cv::Mat capture = page(cv::Rect(0, i * step, CAPTURE.width, CAPTURE.height)).clone();
        store.Add(capture);
    }
}

/// Runs in the child: fills the store, restarts the peak and stitches.
Figures MeasureStitch(const MakeStitcher& make)
{
    const double before = ZOLT::Bench::StatusMiB("VmRSS");
    const SpillFolder spill;
    Stitching::MemoryEfficientImageProvider store(spill.Prefix(), BUDGET);
    FillStore(store);
    Stitching::StitcherParameters parameters;
    parameters.direction = 0;
    parameters.maxThreads = THREADS;
    const std::shared_ptr<Stitching::IStitcher> stitcher = make(parameters);
    Figures figures;
    ZOLT::Bench::ResetPeakResident();
    {
        cv::Mat result;
        figures.stitched = stitcher->Stitch(store, result, nullptr, 0, 100, true);
        figures.resultMiB = static_cast<double>(result.total() * result.elemSize()) / MIB;
    }
    figures.peakMiB = ZOLT::Bench::StatusMiB("VmHWM") - before;
    return figures;
}

Figures InChild(const MakeStitcher& make)
{
    int channel[2];
    if (::pipe(channel) != 0) {
        throw std::runtime_error("no pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        Figures figures;
        try {
            figures = MeasureStitch(make);
        } catch (...) {
        }
        const bool sent = ::write(channel[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    Figures figures;
    const bool received = ::read(channel[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (!received) {
        throw std::runtime_error("the measuring process sent nothing");
    }
    return figures;
}

/// What one pair searched vertically works on: its two captures and their grey copies, the
/// padded image, the normalised cross-power spectrum (complex) and the two packed spectra.
double PairWorkingSetMiB()
{
    const double padded = cv::getOptimalDFTSize(2 * CAPTURE.height) * static_cast<double>(CAPTURE.width);
    return (2.0 * CAPTURE.area() * (4 + 1) + padded * (4 + 8 + 2 * 4)) / MIB;
}

void PeakMemory(benchmark::State& state, const MakeStitcher& make)
{
    Figures figures;
    for (auto _ : state) {
        figures = InChild(make);
    }
    const double capture = CAPTURE.area() * 4.0 / MIB;
    const double goal = BUDGET / MIB + 2 * figures.resultMiB + 3 * capture + THREADS * PairWorkingSetMiB();
    state.counters["peak_MiB"] = figures.peakMiB;
    state.counters["goal_MiB"] = goal;
    state.counters["result_MiB"] = figures.resultMiB;
    state.counters["within_goal"] = figures.stitched && figures.peakMiB <= goal ? 1 : 0;
    if (!figures.stitched) {
        state.SkipWithError("the stitch failed");
    }
}

}  // namespace

BENCHMARK_CAPTURE(PeakMemory, basic,
                  [](const Stitching::StitcherParameters& parameters) {
                      return Stitching::StitcherFactory::CreateBasicStitcher(parameters);
                  })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PeakMemory, borders,
                  [](const Stitching::StitcherParameters& parameters) {
                      return Stitching::StitcherFactory::CreateStitcherWithBasicBorderDetection(parameters, 24, 3);
                  })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PeakMemory, smart,
                  [](const Stitching::StitcherParameters& parameters) {
                      return Stitching::StitcherFactory::CreateSmartStitcher(parameters, 1);
                  })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(PeakMemory, page,
                  [](const Stitching::StitcherParameters& parameters) {
                      return Stitching::StitcherFactory::CreatePageStitcher(parameters);
                  })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
