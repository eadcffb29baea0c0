#pragma once

// Where the frames of a stitch are kept: all in memory, or in the memory-bounded store that
// spills them to files, as the options ask.

#include "Options.h"

#include <ZOLT/Providers.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

namespace ZOLT {
namespace Python {

/// A fresh private folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

class FrameStore {
public:
    /// Throws NotADirectoryError or PermissionError for a spill folder that cannot be used, OSError
    /// when no temporary folder can be made.
    explicit FrameStore(const StitchOptions& options);
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    /// Takes over the capture's pixels (no copy).
    void Add(cv::Mat& capture);
    IImageProvider& Provider();

private:
    /// Declared first, so that it is removed after the store has deleted its files.
    std::optional<TemporaryFolder> created_;
    std::unique_ptr<BasicImageProvider> inMemory_;
    std::unique_ptr<Stitching::MemoryEfficientImageProvider> bounded_;
};

/// Hands out another provider's captures; the captures a stitch replaces (the border
/// configuration crops them) go into a scratch store of the same kind, so that the other
/// provider keeps the frames as they were added.
class OverlayProvider final : public IImageProvider {
public:
    OverlayProvider(IImageProvider& captures, const StitchOptions& options);

    std::size_t Count() override;
    bool IsEmpty() override;
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override;
    void SetImageAt(std::size_t index, cv::Mat& image) override;

private:
    IImageProvider& captures_;
    FrameStore scratch_;
    /// Index in the scratch store of each replaced capture.
    std::map<std::size_t, std::size_t> replaced_;
};

}  // namespace Python
}  // namespace ZOLT
