// MemoryEfficientImageProvider, the spill files: GetTempFileName, SaveMat, LoadMat.
//
// Spill files of the memory-bounded provider: a 20-byte header (cols, rows, element size, type;
// little-endian) followed by the pixel rows back to back. No magic and no version: the files
// are private to the provider that wrote them and do not outlive the process.

#include <ZOLT/Providers.h>
#include <ZOLT/Utilities.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace ZOLT {
namespace Stitching {

namespace {

constexpr std::size_t HEADER_SIZE = 20;
using HeaderBytes = std::array<unsigned char, HEADER_SIZE>;

struct SpillHeader {
    std::int32_t cols = 0;
    std::int32_t rows = 0;
    std::uint64_t elementSize = 0;
    std::int32_t type = 0;
};

template <typename Value>
void EncodeLittleEndian(Value value, unsigned char* target)
{
    using Bits = std::make_unsigned_t<Value>;
    const Bits bits = static_cast<Bits>(value);
    for (std::size_t byte = 0; byte < sizeof(Value); ++byte) {
        target[byte] = static_cast<unsigned char>((bits >> (8 * byte)) & 0xFFU);
    }
}

template <typename Value>
Value DecodeLittleEndian(const unsigned char* source)
{
    using Bits = std::make_unsigned_t<Value>;
    Bits bits = 0;
    for (std::size_t byte = 0; byte < sizeof(Value); ++byte) {
        bits = static_cast<Bits>(bits | (static_cast<Bits>(source[byte]) << (8 * byte)));
    }
    return static_cast<Value>(bits);
}

HeaderBytes EncodeHeader(const SpillHeader& header)
{
    HeaderBytes bytes{};
    EncodeLittleEndian(header.cols, bytes.data());
    EncodeLittleEndian(header.rows, bytes.data() + 4);
    EncodeLittleEndian(header.elementSize, bytes.data() + 8);
    EncodeLittleEndian(header.type, bytes.data() + 16);
    return bytes;
}

SpillHeader DecodeHeader(const HeaderBytes& bytes)
{
    SpillHeader header;
    header.cols = DecodeLittleEndian<std::int32_t>(bytes.data());
    header.rows = DecodeLittleEndian<std::int32_t>(bytes.data() + 4);
    header.elementSize = DecodeLittleEndian<std::uint64_t>(bytes.data() + 8);
    header.type = DecodeLittleEndian<std::int32_t>(bytes.data() + 16);
    return header;
}

/// A matrix without dimensions has element size 0 in the file.
SpillHeader HeaderOf(const cv::Mat& image)
{
    SpillHeader header;
    header.cols = image.cols;
    header.rows = image.rows;
    header.elementSize = image.dims > 0 ? image.elemSize() : 0;
    header.type = image.type();
    return header;
}

/// Byte count of the pixel block a header announces; false when the header could not have
/// come from a matrix (negative dimensions, a type code out of range, an element size that
/// disagrees with the type) or the block would not fit the address space.
bool PixelBlockSize(const SpillHeader& header, std::uint64_t& blockSize)
{
    if (header.cols < 0 || header.rows < 0 || header.type < 0 || header.type > CV_MAT_TYPE_MASK) {
        return false;
    }
    const std::uint64_t area = static_cast<std::uint64_t>(header.rows) * static_cast<std::uint64_t>(header.cols);
    const bool emptyMatrix = area == 0 && header.elementSize == 0;
    if (!emptyMatrix && header.elementSize != static_cast<std::uint64_t>(CV_ELEM_SIZE(header.type))) {
        return false;
    }
    const std::uint64_t largest = std::min(static_cast<std::uint64_t>(std::numeric_limits<std::streamsize>::max()),
                                           static_cast<std::uint64_t>(std::numeric_limits<std::size_t>::max()));
    if (area != 0 && header.elementSize > largest / area) {
        return false;
    }
    blockSize = area * header.elementSize;
    return true;
}

/// Rows back to back: one run for a continuous matrix, row by row for a view.
bool WritePixelBlock(std::ostream& file, const cv::Mat& image)
{
    if (image.empty()) {
        return true;
    }
    if (image.isContinuous()) {
        file.write(reinterpret_cast<const char*>(image.data),
                   static_cast<std::streamsize>(image.total() * image.elemSize()));
        return !file.fail();
    }
    const auto rowSize = static_cast<std::streamsize>(static_cast<std::size_t>(image.cols) * image.elemSize());
    for (int row = 0; row < image.rows && !file.fail(); ++row) {
        file.write(reinterpret_cast<const char*>(image.ptr(row)), rowSize);
    }
    return !file.fail();
}

/// The counterpart of WritePixelBlock; reads exactly the matrix's own pixels.
bool ReadPixelBlock(std::istream& file, cv::Mat& image)
{
    if (image.empty()) {
        return true;
    }
    if (image.isContinuous()) {
        file.read(reinterpret_cast<char*>(image.data), static_cast<std::streamsize>(image.total() * image.elemSize()));
        return !file.fail();
    }
    const auto rowSize = static_cast<std::streamsize>(static_cast<std::size_t>(image.cols) * image.elemSize());
    for (int row = 0; row < image.rows && !file.fail(); ++row) {
        file.read(reinterpret_cast<char*>(image.ptr(row)), rowSize);
    }
    return !file.fail();
}

/// Whether the file holds at least `size` more bytes from the current position. Checked before
/// allocating, so that a hostile header cannot make the reader reserve memory the file lacks.
bool HoldsAtLeast(std::istream& file, std::uint64_t size)
{
    const std::istream::pos_type position = file.tellg();
    file.seekg(0, std::ios::end);
    const std::istream::pos_type end = file.tellg();
    file.seekg(position);
    if (position == std::istream::pos_type(-1) || end == std::istream::pos_type(-1) || file.fail()) {
        return false;
    }
    return static_cast<std::uint64_t>(end - position) >= size;
}

[[noreturn]] void ThrowUnreadable()
{
    throw std::runtime_error("Could not open or read file.");
}

}  // namespace

std::string MemoryEfficientImageProvider::GetTempFileName()
{
    for (;;) {
        std::string candidate = folderPath_ + Utilities::GenerateRandomAlphanumericString(nameLength_);
        // A name counts as free when nothing readable is there; SaveMat creates the file later.
        if (!std::ifstream(candidate, std::ios::in | std::ios::binary).is_open()) {
            return candidate;
        }
    }
}

bool MemoryEfficientImageProvider::SaveMat(cv::Mat& image, const std::string& path)
{
    if (image.dims > 2) {
        return false;  // the format has room for two dimensions only
    }
    std::ofstream file(path, std::ios::out | std::ios::binary);
    if (!file.is_open()) {
        return false;
    }

    const HeaderBytes header = EncodeHeader(HeaderOf(image));
    file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    // Flushed before judging, so that a short file is never recorded as a good spill.
    const bool written = !file.fail() && WritePixelBlock(file, image) && !file.flush().fail();
    if (!written) {
        file.close();
        std::remove(path.c_str());
    }
    return written;
}

void MemoryEfficientImageProvider::LoadMat(cv::Mat& image, const std::string& path)
{
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        ThrowUnreadable();
    }

    HeaderBytes bytes{};
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.fail()) {
        ThrowUnreadable();
    }
    const SpillHeader header = DecodeHeader(bytes);
    std::uint64_t blockSize = 0;
    if (!PixelBlockSize(header, blockSize) || !HoldsAtLeast(file, blockSize)) {
        ThrowUnreadable();
    }

    image.create(header.rows, header.cols, header.type);
    if (!ReadPixelBlock(file, image)) {
        ThrowUnreadable();
    }
}

}  // namespace Stitching
}  // namespace ZOLT
