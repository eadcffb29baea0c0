#pragma once

// Resident-memory figures of the benchmark process, read from /proc (Linux), and the timed stitch
// loop that reports them.

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace ZOLT {
namespace Bench {

/// A "Vm...:" field of /proc/self/status ("VmRSS", "VmHWM") in MiB; 0 when it cannot be read.
inline double StatusMiB(const std::string& field)
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

/// Restarts the peak resident size (VmHWM) at the current resident size, so that a case reports
/// its own peak; false where the kernel does not allow it.
inline bool ResetPeakResident()
{
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return clearRefs.good();
}

/// Stitches `provider` once per iteration and reports the result's rows and the peak resident
/// memory of the stitches.
inline void RunStitches(benchmark::State& state, Stitching::IStitcher& stitcher, IImageProvider& provider)
{
    const double baseline = StatusMiB("VmRSS");
    ResetPeakResident();
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
}

}  // namespace Bench
}  // namespace ZOLT
