#pragma once

// Reaches the memory-bounded provider's load queue and spill paths, and opens its protected
// operations (the spill-file steps, the memory queries) through a derived class.

#include <ZOLT/Providers.h>

#include <deque>
#include <string>
#include <vector>

namespace ZOLT {
namespace Stitching {

template <>
struct TestAccess<MemoryEfficientImageProvider> {
    static std::vector<std::size_t> LoadQueue(const MemoryEfficientImageProvider& provider)
    {
        const std::lock_guard<std::recursive_mutex> lock(provider.mutex_);
        return std::vector<std::size_t>(provider.loadQueue_.begin(), provider.loadQueue_.end());
    }

    static std::string FilePath(const MemoryEfficientImageProvider& provider, std::size_t index)
    {
        const std::lock_guard<std::recursive_mutex> lock(provider.mutex_);
        return provider.records_.at(index).filePath;
    }

    static std::uint32_t MinimumLoadedImages() { return MemoryEfficientImageProvider::MINIMUM_LOADED_IMAGES; }
};

}  // namespace Stitching

namespace Testing {

class InspectableProvider : public Stitching::MemoryEfficientImageProvider {
public:
    using MemoryEfficientImageProvider::MemoryEfficientImageProvider;
    using MemoryEfficientImageProvider::GetMatrixMemory;
    using MemoryEfficientImageProvider::GetMemoryUsage;
    using MemoryEfficientImageProvider::GetTempFileName;
    using MemoryEfficientImageProvider::IsMatLoaded;
    using MemoryEfficientImageProvider::IsMatSaved;
    using MemoryEfficientImageProvider::LoadMat;
    using MemoryEfficientImageProvider::SaveMat;
    using MemoryEfficientImageProvider::UnloadMat;

    std::vector<std::size_t> LoadQueue() const { return Access::LoadQueue(*this); }
    std::string FilePath(std::size_t index) const { return Access::FilePath(*this, index); }

private:
    using Access = Stitching::TestAccess<Stitching::MemoryEfficientImageProvider>;
};

}  // namespace Testing
}  // namespace ZOLT
