#pragma once

// Where a run keeps its captures until the stitch: all in memory, or in the memory-bounded
// store that spills to files, as the common memory options ask.

#include "CommonOptions.h"
#include "SpillFolder.h"

#include <ZOLT/Providers.h>

#include <memory>
#include <optional>

namespace ZOLT {
namespace Cli {

class CaptureStore {
public:
    static std::unique_ptr<CaptureStore> InMemory();
    /// `spillFolder` must end with a path separator: the store uses it as a file-name prefix.
    static std::unique_ptr<CaptureStore> Bounded(const std::string& spillFolder, std::size_t memoryLimit);

    CaptureStore() = default;
    CaptureStore(const CaptureStore&) = delete;
    CaptureStore& operator=(const CaptureStore&) = delete;
    virtual ~CaptureStore() = default;

    /// Takes over the capture's pixels (no copy).
    virtual void Add(cv::Mat& capture) = 0;
    virtual IImageProvider& Provider() = 0;
};

/// The store `options` ask for. A bounded store's folder is made (or checked) in `spillFolder`,
/// which must outlive the store: the store deletes its own files first. Throws ToolError
/// (output error) when the named spill folder cannot be used.
std::unique_ptr<CaptureStore> MakeCaptureStore(const CommonOptions& options, std::optional<SpillFolder>& spillFolder);

}  // namespace Cli
}  // namespace ZOLT
