#include "Options.h"

#include <ZOLT/Factory.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

/// The border decorator's thresholds and the smart stitcher's scale factor, as the tools' defaults.
constexpr unsigned int CHANGE_THRESHOLD = 24;
constexpr unsigned int NEIGHBOR_THRESHOLD = 3;
constexpr unsigned int SCALE_FACTOR = 1;
constexpr int MAX_THREADS = 1024;

template <typename Value>
Value OneOf(const char* argument, const std::string& given, const std::vector<std::pair<const char*, Value>>& names)
{
    std::string accepted;
    for (const auto& [name, value] : names) {
        if (given == name) {
            return value;
        }
        accepted += std::string(accepted.empty() ? "'" : ", '") + name + "'";
    }
    throw py::value_error(std::string(argument) + " must be one of " + accepted + ", not '" + given + "'");
}

int ThreadCount(std::optional<int> threads)
{
    if (!threads) {
        return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, unsigned(MAX_THREADS)));
    }
    if (*threads < 1 || *threads > MAX_THREADS) {
        throw py::value_error("threads must be from 1 to " + std::to_string(MAX_THREADS) + ", not " +
                              std::to_string(*threads));
    }
    return *threads;
}

}  // namespace

StitchOptions ParseOptions(const std::string& stitcher, const std::string& direction, std::optional<int> threads,
                           std::optional<long long> memoryLimitMb, const py::object& spillDir,
                           const std::string& channelOrder)
{
    StitchOptions options;
    options.kind = OneOf<StitcherKind>("stitcher", stitcher,
                                       {{"page", StitcherKind::Page},
                                        {"basic", StitcherKind::Basic},
                                        {"smart", StitcherKind::Smart},
                                        {"borders", StitcherKind::Borders}});
    options.parameters.direction =
        OneOf<int>("direction", direction, {{"vertical", 0}, {"horizontal", 1}, {"both", 2}});
    options.parameters.maxThreads = ThreadCount(threads);
    options.order =
        OneOf<ChannelOrder>("channel_order", channelOrder, {{"bgr", ChannelOrder::Bgr}, {"rgb", ChannelOrder::Rgb}});
    if (memoryLimitMb) {
        if (*memoryLimitMb < 0 || static_cast<unsigned long long>(*memoryLimitMb) > (SIZE_MAX >> 20)) {
            throw py::value_error("memory_limit_mb must be 0 or more (mebibytes), not " +
                                  std::to_string(*memoryLimitMb));
        }
        options.bounded = true;
        options.memoryLimitBytes = static_cast<std::size_t>(*memoryLimitMb) << 20;
    }
    if (!spillDir.is_none()) {
        options.bounded = true;
        options.spillFolder = py::str(py::module_::import("os").attr("fspath")(spillDir));
    }
    return options;
}

std::shared_ptr<Stitching::IStitcher> MakeStitcher(const StitchOptions& options)
{
    using Stitching::StitcherFactory;
    switch (options.kind) {
    case StitcherKind::Basic:
        return StitcherFactory::CreateBasicStitcher(options.parameters);
    case StitcherKind::Smart:
        return StitcherFactory::CreateSmartStitcher(options.parameters, SCALE_FACTOR);
    case StitcherKind::Borders:
        return StitcherFactory::CreateStitcherWithBasicBorderDetection(options.parameters, CHANGE_THRESHOLD,
                                                                       NEIGHBOR_THRESHOLD);
    case StitcherKind::Page:
        break;
    }
    return StitcherFactory::CreatePageStitcher(options.parameters);
}

int ResultChannels(const StitchOptions& options, int frameChannels)
{
    return options.kind == StitcherKind::Page ? frameChannels : 4;
}

}  // namespace Python
}  // namespace ZOLT
