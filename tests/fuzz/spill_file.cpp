// Fuzz target: the spill-file reader on arbitrary bytes. Any input must either load a matrix
// whose pixel block matches its header or raise "Could not open or read file.".

#include "ScratchFile.h"

#include <ZOLT/Providers.h>

#include <stdexcept>

namespace {

struct SpillReader : ZOLT::Stitching::MemoryEfficientImageProvider {
    SpillReader() : MemoryEfficientImageProvider("", 0) {}
    using MemoryEfficientImageProvider::LoadMat;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ZOLT::Testing::ScratchFile scratch(data, size);
    cv::Mat image;
    try {
        SpillReader().LoadMat(image, scratch.Path());
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
