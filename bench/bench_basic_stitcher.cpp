// End-to-end basic stitch of a 1080p vertical scrolling series: seconds per stitch and the
// peak resident memory of the process while stitching, with one and with two detection threads,
// and the result building alone (the true translations handed in by a fixed-list detector).

#include "ProcessMemory.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kCaptures = 20;
constexpr int kStep = 300;
const cv::Size kScreen(1920, 1080);

struct Series {
    ZOLT::BasicImageProvider provider;
    std::vector<ZOLT::Stitching::Translation> translations;
};

Series& VerticalSeries()
{
    static Series series = [] {
        const cv::Mat page =
            ZOLT::Testing::MakePage(cv::Size(kScreen.width, kScreen.height + (kCaptures - 1) * kStep), 7);
        const ZOLT::Testing::CaptureSeries cut =
            ZOLT::Testing::CutSeries(page, kScreen, ZOLT::Testing::VerticalOffsets(kCaptures, kStep));
        Series made;
        for (cv::Mat capture : cut.captures) {
            made.provider.Add(capture);
        }
        made.translations = cut.Translations();
        return made;
    }();
    return series;
}

/// Hands out the true translations, so that only the result building is measured.
class KnownTranslations : public ZOLT::Stitching::ITranslationDetector {
public:
    explicit KnownTranslations(std::vector<ZOLT::Stitching::Translation> translations)
        : translations_(std::move(translations))
    {
    }

    std::vector<ZOLT::Stitching::Translation> DetectTranslation(ZOLT::IImageProvider&,
                                                                ZOLT::Stitching::IStitcherListener*, int, int) override
    {
        return translations_;
    }

    ZOLT::Stitching::Translation DetectTranslation(const cv::Mat&, const cv::Mat&,
                                                   ZOLT::Stitching::IStitcherListener*) override
    {
        return ZOLT::Stitching::Translation();
    }

private:
    std::vector<ZOLT::Stitching::Translation> translations_;
};

void RunStitches(benchmark::State& state, ZOLT::Stitching::BasicStitcher& stitcher)
{
    ZOLT::BasicImageProvider& provider = VerticalSeries().provider;
    const double baseline = ZOLT::Bench::StatusMiB("VmRSS");
    ZOLT::Bench::ResetPeakResident();
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
    state.counters["peak_rss_MiB"] = ZOLT::Bench::StatusMiB("VmHWM");
}

void BM_BasicStitch1080p(benchmark::State& state)
{
    ZOLT::Stitching::StitcherParameters parameters;
    parameters.maxThreads = static_cast<int>(state.range(0));
    ZOLT::Stitching::BasicStitcher stitcher(
        std::make_shared<ZOLT::Stitching::PhaseCorrelationTranslationDetector>(parameters), parameters);
    RunStitches(state, stitcher);
    state.SetLabel("maxThreads " + std::to_string(parameters.maxThreads));
}

void BM_BuildResult1080p(benchmark::State& state)
{
    ZOLT::Stitching::BasicStitcher stitcher(std::make_shared<KnownTranslations>(VerticalSeries().translations),
                                            ZOLT::Stitching::StitcherParameters());
    RunStitches(state, stitcher);
}

}  // namespace

BENCHMARK(BM_BasicStitch1080p)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_BuildResult1080p)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
