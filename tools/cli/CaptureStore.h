#pragma once

// Where a tool keeps the captures for the stitch: all in memory, or in the memory-bounded store
// that spills to files.

#include "CommonOptions.h"

#include <ZOLT/Providers.h>

#include <cstddef>
#include <memory>
#include <string>

namespace ZOLT {
namespace Cli {

/// Add takes over the capture's pixels (no copy).
class CaptureStore {
public:
    /// The store the options ask for: the memory-bounded one in its spill folder (a fresh
    /// temporary one, removed with the store, unless one was named) when --memory-limit or
    /// --spill-dir was given, otherwise all in memory. Throws ToolError (output error) when the
    /// spill folder cannot be used.
    static std::unique_ptr<CaptureStore> ForOptions(const CommonOptions& options);
    static std::unique_ptr<CaptureStore> InMemory();
    /// `spillFolder` must end with a path separator: the store uses it as a file-name prefix.
    static std::unique_ptr<CaptureStore> Bounded(const std::string& spillFolder, std::size_t memoryLimit);

    CaptureStore() = default;
    CaptureStore(const CaptureStore&) = delete;
    CaptureStore& operator=(const CaptureStore&) = delete;
    virtual ~CaptureStore() = default;

    virtual void Add(cv::Mat& capture) = 0;
    virtual IImageProvider& Provider() = 0;
};

}  // namespace Cli
}  // namespace ZOLT
