#pragma once

// The keyword arguments that every stitch from Python shares, checked once, and the stitcher
// configuration they name.

#include "Arrays.h"

#include <ZOLT/Core.h>

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace ZOLT {
namespace Python {

enum class StitcherKind { Page, Basic, Smart, Borders };

/// Budget of the memory-bounded store when only a spill folder is named, as the tools' own.
constexpr std::size_t DEFAULT_MEMORY_LIMIT_MB = 200;

struct StitchOptions {
    StitcherKind kind = StitcherKind::Page;
    /// The library's tuning values; direction and maxThreads come from the arguments.
    Stitching::StitcherParameters parameters;
    ChannelOrder order = ChannelOrder::Bgr;
    /// Keep the frames in the memory-bounded store instead of all in memory.
    bool bounded = false;
    std::size_t memoryLimitBytes = DEFAULT_MEMORY_LIMIT_MB << 20;
    /// Folder for spill files; empty for a fresh temporary folder.
    std::string spillFolder;
};

/// Checks the arguments; throws ValueError naming the argument and what it accepts.
StitchOptions ParseOptions(const std::string& stitcher, const std::string& direction, std::optional<int> threads,
                           std::optional<long long> memoryLimitMb, const pybind11::object& spillDir,
                           const std::string& channelOrder);

/// The configuration `options` name, built by the library's factory.
std::shared_ptr<Stitching::IStitcher> MakeStitcher(const StitchOptions& options);

/// The result's channels for frames with `frameChannels`: the frames' own where the configuration
/// leaves every pixel opaque, four (with alpha) where it may leave some transparent.
int ResultChannels(const StitchOptions& options, int frameChannels);

}  // namespace Python
}  // namespace ZOLT
