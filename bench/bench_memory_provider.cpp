// The memory-bounded store over a long series of full-HD captures: the captures are added to a
// store with the default 200 MiB budget and then read back in order. Reported: peak resident
// memory against the budget, and spill and reload throughput next to a plain sequential write
// and read of the same volume on the same disk (the system temporary directory).
//
// All figures go through the page cache: on a machine with free memory, spill and reload
// mostly measure copies into and out of it, and so does the plain file reference. Writes into
// page-cache memory that was never used before can be several times slower than later ones
// (notably in virtual machines), so the plain reference runs both before and after the store.

#include "ProcessMemory.h"
#include "SyntheticCaptures.h"

#include <ZOLT/Stitching.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace {

constexpr double MIB = 1024.0 * 1024.0;
constexpr std::size_t BUDGET = 200 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

/// A folder of its own under the system temporary directory, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zolt-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a scratch folder");
        }
        folder_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string Prefix() const { return (folder_ / "").string(); }
    std::string File(const std::string& name) const { return (folder_ / name).string(); }
    std::size_t FileCount() const
    {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()));
    }

private:
    std::filesystem::path folder_;
};

/// The store with its loaded-state query opened, to tell reloads from reads in memory.
class Store : public ZOLT::Stitching::MemoryEfficientImageProvider {
public:
    using MemoryEfficientImageProvider::IsMatLoaded;
    using MemoryEfficientImageProvider::MemoryEfficientImageProvider;
};

/// A distinct capture per index: the base capture with the index written into its first pixels.
cv::Mat StampedCapture(const cv::Mat& base, int index)
{
    cv::Mat capture = base.clone();
    std::memcpy(capture.data, &index, sizeof index);
    return capture;
}

int StampOf(const cv::Mat& capture)
{
    int index = 0;
    std::memcpy(&index, capture.data, sizeof index);
    return index;
}

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

struct PlainFileFigures {
    double writeSeconds = 0.0;
    double readSeconds = 0.0;
};

/// Writes `chunks` times the pixels of `block` to one file in sequence, then reads them back.
PlainFileFigures PlainSequentialFile(const std::string& path, const cv::Mat& block, std::size_t chunks)
{
    const auto chunkSize = static_cast<std::streamsize>(block.total() * block.elemSize());
    PlainFileFigures figures;
    {
        const Clock::time_point start = Clock::now();
        std::ofstream file(path, std::ios::out | std::ios::binary);
        for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
            file.write(reinterpret_cast<const char*>(block.data), chunkSize);
        }
        file.close();
        figures.writeSeconds = Seconds(Clock::now() - start);
    }
    {
        std::vector<char> buffer(static_cast<std::size_t>(chunkSize));
        const Clock::time_point start = Clock::now();
        std::ifstream file(path, std::ios::in | std::ios::binary);
        for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
            file.read(buffer.data(), chunkSize);
        }
        benchmark::DoNotOptimize(buffer.data());
        figures.readSeconds = Seconds(Clock::now() - start);
    }
    std::filesystem::remove(path);
    return figures;
}

void BM_SeriesThroughTheStore(benchmark::State& state)
{
    const int captures = static_cast<int>(state.range(0));
    const cv::Size size(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    const cv::Mat base = ZOLT::Testing::MakePage(size, 17);
    const double captureBytes = static_cast<double>(base.total() * base.elemSize());

    // The store spills every capture but the newest budget's worth while adding; the plain
    // reference writes the same volume.
    const std::size_t held = BUDGET / static_cast<std::size_t>(captureBytes);
    const std::size_t series = static_cast<std::size_t>(captures);
    const std::size_t expectedSpills = series > held ? series - held : 1;

    for (auto _ : state) {
        ScratchFolder folder;
        const PlainFileFigures plainBefore = PlainSequentialFile(folder.File("plain"), base, expectedSpills);
        const bool peakReset = ZOLT::Bench::ResetPeakResident();
        const double baseline = ZOLT::Bench::StatusMiB("VmRSS");

        Store store(folder.Prefix(), BUDGET);
        Clock::duration addTime{};
        for (int index = 0; index < captures; ++index) {
            cv::Mat capture = StampedCapture(base, index);
            const Clock::time_point start = Clock::now();
            store.Add(capture);
            addTime += Clock::now() - start;
        }
        const std::size_t spilledOnAdd = folder.FileCount();

        Clock::duration readTime{};
        std::size_t reloads = 0;
        for (int index = 0; index < captures; ++index) {
            const auto position = static_cast<std::size_t>(index);
            reloads += store.IsMatLoaded(position) ? 0 : 1;
            const Clock::time_point start = Clock::now();
            const std::shared_ptr<cv::Mat> capture = store.GetImageAt(position);
            readTime += Clock::now() - start;
            if (StampOf(*capture) != index) {
                state.SkipWithError("a capture came back with the wrong contents");
                return;
            }
        }
        const std::size_t spilledOnRead = folder.FileCount() - spilledOnAdd;
        const double peak = ZOLT::Bench::StatusMiB("VmHWM");

        store.Clear();
        if (folder.FileCount() != 0) {
            state.SkipWithError("spill files were left behind");
            return;
        }
        const PlainFileFigures plainAfter = PlainSequentialFile(folder.File("plain"), base, expectedSpills);
        const double plainMiB = expectedSpills * captureBytes / MIB;

        state.counters["captures"] = captures;
        state.counters["series_MiB"] = captures * captureBytes / MIB;
        state.counters["baseline_MiB"] = baseline;
        state.counters["peak_MiB"] = peakReset ? peak : -1.0;
        state.counters["peak_growth_MiB"] = peakReset ? peak - baseline : -1.0;
        state.counters["target_growth_MiB"] = (static_cast<double>(BUDGET) + 3 * captureBytes) / MIB;
        state.counters["spills_on_add"] = static_cast<double>(spilledOnAdd);
        state.counters["spills_on_read"] = static_cast<double>(spilledOnRead);
        state.counters["reloads"] = static_cast<double>(reloads);
        state.counters["add_spill_MiBps"] = spilledOnAdd * captureBytes / MIB / Seconds(addTime);
        // Reading back also writes the captures that were never spilled before.
        state.counters["read_reload_MiBps"] = reloads * captureBytes / MIB / Seconds(readTime);
        state.counters["plain_write_before_MiBps"] = plainMiB / plainBefore.writeSeconds;
        state.counters["plain_read_before_MiBps"] = plainMiB / plainBefore.readSeconds;
        state.counters["plain_write_after_MiBps"] = plainMiB / plainAfter.writeSeconds;
        state.counters["plain_read_after_MiBps"] = plainMiB / plainAfter.readSeconds;
    }
}

}  // namespace

// 300 full-HD captures: 2.3 GiB of pixels against a 200 MiB budget.
BENCHMARK(BM_SeriesThroughTheStore)->Args({300, 1920, 1080})->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
