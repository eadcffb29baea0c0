// Fuzz target: the spill-file reader on arbitrary bytes. Any input must either load a matrix
// whose pixel block matches its header or raise "Could not open or read file.".

#include <ZOLT/Providers.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

class SpillReader : public ZOLT::Stitching::MemoryEfficientImageProvider {
public:
    SpillReader() : MemoryEfficientImageProvider("", 0) {}
    using MemoryEfficientImageProvider::LoadMat;
};

/// One scratch file per process, rewritten for every input.
const std::string& ScratchPath()
{
    static const std::string path = [] {
        char name[] = "/tmp/zolt-fuzz-spill-XXXXXX";
        const int descriptor = mkstemp(name);
        if (descriptor < 0) {
            std::abort();
        }
        close(descriptor);
        return std::string(name);
    }();
    return path;
}

struct ScratchRemover {
    ~ScratchRemover() { std::remove(ScratchPath().c_str()); }
} scratchRemover;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        std::ofstream file(ScratchPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    SpillReader reader;
    cv::Mat image;
    try {
        reader.LoadMat(image, ScratchPath());
    } catch (const std::runtime_error& error) {
        if (std::string(error.what()) != "Could not open or read file.") {
            std::abort();
        }
        return 0;
    }
    // A loaded matrix holds exactly the pixel bytes its header announced.
    if (!image.empty() && 20 + image.total() * image.elemSize() > size) {
        std::abort();
    }
    return 0;
}
