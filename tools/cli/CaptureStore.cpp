#include "CaptureStore.h"

namespace ZOLT {
namespace Cli {

namespace {

class InMemoryStore : public CaptureStore {
public:
    void Add(cv::Mat& capture) override { provider_.Add(capture); }
    IImageProvider& Provider() override { return provider_; }

private:
    BasicImageProvider provider_;
};

class BoundedStore : public CaptureStore {
public:
    BoundedStore(const std::string& spillFolder, std::size_t memoryLimit) : provider_(spillFolder, memoryLimit) {}

    void Add(cv::Mat& capture) override { provider_.Add(capture); }
    IImageProvider& Provider() override { return provider_; }

private:
    Stitching::MemoryEfficientImageProvider provider_;
};

}  // namespace

std::unique_ptr<CaptureStore> CaptureStore::InMemory()
{
    return std::make_unique<InMemoryStore>();
}

std::unique_ptr<CaptureStore> CaptureStore::Bounded(const std::string& spillFolder, std::size_t memoryLimit)
{
    return std::make_unique<BoundedStore>(spillFolder, memoryLimit);
}

std::unique_ptr<CaptureStore> MakeCaptureStore(const CommonOptions& options, std::optional<SpillFolder>& spillFolder)
{
    if (!options.boundedMemory) {
        return CaptureStore::InMemory();
    }
    spillFolder.emplace(options.spillFolder);
    return CaptureStore::Bounded(spillFolder->Prefix(), options.memoryLimitBytes);
}

}  // namespace Cli
}  // namespace ZOLT
