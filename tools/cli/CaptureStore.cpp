#include "CaptureStore.h"

#include "SpillFolder.h"

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

/// A bounded store in a spill folder of its own; the folder is declared first, so it outlives
/// the store, which deletes its own files first.
class SpillingStore : public CaptureStore {
public:
    SpillingStore(const std::string& folder, std::size_t memoryLimit)
        : folder_(folder), store_(folder_.Prefix(), memoryLimit)
    {
    }

    void Add(cv::Mat& capture) override { store_.Add(capture); }
    IImageProvider& Provider() override { return store_.Provider(); }

private:
    SpillFolder folder_;
    BoundedStore store_;
};

}  // namespace

std::unique_ptr<CaptureStore> CaptureStore::ForOptions(const CommonOptions& options)
{
    if (!options.boundedMemory) {
        return InMemory();
    }
    return std::make_unique<SpillingStore>(options.spillFolder, options.memoryLimitBytes);
}

std::unique_ptr<CaptureStore> CaptureStore::InMemory()
{
    return std::make_unique<InMemoryStore>();
}

std::unique_ptr<CaptureStore> CaptureStore::Bounded(const std::string& spillFolder, std::size_t memoryLimit)
{
    return std::make_unique<BoundedStore>(spillFolder, memoryLimit);
}

}  // namespace Cli
}  // namespace ZOLT
