#pragma once

// Opens the memory-bounded provider's protected steps and private load queue and spill paths to
// its tests, and makes file writes fail on demand.

#include <ZOLT/Providers.h>

#include "TempFolder.h"
#include "TestImages.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>

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
};

}  // namespace Stitching

namespace Testing {

using Bytes = std::vector<unsigned char>;

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

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// Caps the size of files this process may write, so that a write beyond `bytes` fails (with
/// EFBIG, the size signal being ignored) until the limit goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }

    bool Active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace Testing
}  // namespace ZOLT
