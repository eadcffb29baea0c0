#include "ImageHeader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ZOLT {
namespace StitchTool {

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t BigEndian(const Bytes& bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) {
        value = (value << 8) | bytes.at(at + i);
    }
    return value;
}

std::uint32_t LittleEndian(const Bytes& bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | bytes.at(at + i);
    }
    return value;
}

template <std::size_t N>
bool StartsWith(const Bytes& bytes, const char (&magic)[N], std::size_t at = 0)
{
    return bytes.size() >= at + N - 1 && std::memcmp(bytes.data() + at, magic, N - 1) == 0;
}

Bytes ReadAt(std::ifstream& file, std::uint64_t offset, std::size_t count)
{
    Bytes bytes(count);
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

std::optional<ImageDimensions> Dimensions(std::uint64_t width, std::uint64_t height)
{
    return ImageDimensions{width, height};
}

/// Walks the markers up to the first start-of-frame, which carries the size.
std::optional<ImageDimensions> JpegDimensions(std::ifstream& file)
{
    std::uint64_t offset = 2;
    for (int markers = 0; markers < 1000; ++markers) {
        const Bytes marker = ReadAt(file, offset, 9);
        if (marker.size() < 4 || marker[0] != 0xFF) {
            return std::nullopt;
        }
        const unsigned char kind = marker[1];
        const bool frame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
        if (frame && marker.size() == 9) {
            return Dimensions(BigEndian(marker, 7, 2), BigEndian(marker, 5, 2));
        }
        offset += 2 + BigEndian(marker, 2, 2);
    }
    return std::nullopt;
}

/// The first image directory's width and length tags.
std::optional<ImageDimensions> TiffDimensions(std::ifstream& file, const Bytes& head)
{
    const bool little = head[0] == 'I';
    const auto number = [little](const Bytes& bytes, std::size_t at, int width) {
        return little ? LittleEndian(bytes, at, width) : BigEndian(bytes, at, width);
    };
    const std::uint32_t directory = number(head, 4, 4);
    const Bytes count = ReadAt(file, directory, 2);
    if (count.size() < 2) {
        return std::nullopt;
    }
    const std::uint32_t entries = number(count, 0, 2);
    const Bytes table = ReadAt(file, directory + 2, entries * 12U);
    std::optional<std::uint64_t> width;
    std::optional<std::uint64_t> height;
    for (std::size_t entry = 0; entry + 12 <= table.size(); entry += 12) {
        const std::uint32_t tag = number(table, entry, 2);
        const std::uint32_t type = number(table, entry + 2, 2);
        const std::uint32_t value = type == 3 ? number(table, entry + 8, 2) : number(table, entry + 8, 4);
        if (tag == 256) {
            width = value;
        } else if (tag == 257) {
            height = value;
        }
    }
    if (!width || !height) {
        return std::nullopt;
    }
    return Dimensions(*width, *height);
}

/// The netpbm family: magic, then width and height as text, comments allowed between them.
std::optional<ImageDimensions> NetpbmDimensions(const Bytes& head)
{
    std::string text(head.begin() + 2, head.end());
    std::istringstream words(text);
    std::uint64_t values[2] = {0, 0};
    for (std::uint64_t& value : values) {
        std::string word;
        while (words >> word && word[0] == '#') {
            std::getline(words, word);
        }
        std::istringstream number(word);
        if (!(number >> value)) {
            return std::nullopt;
        }
    }
    return Dimensions(values[0], values[1]);
}

std::optional<ImageDimensions> WebpDimensions(const Bytes& head)
{
    if (StartsWith(head, "VP8X", 12) && head.size() >= 30) {
        return Dimensions(LittleEndian(head, 24, 3) + 1ULL, LittleEndian(head, 27, 3) + 1ULL);
    }
    if (StartsWith(head, "VP8L", 12) && head.size() >= 25) {
        const std::uint32_t bits = LittleEndian(head, 21, 4);
        return Dimensions((bits & 0x3FFF) + 1ULL, ((bits >> 14) & 0x3FFF) + 1ULL);
    }
    if (StartsWith(head, "VP8 ", 12) && head.size() >= 30) {
        return Dimensions(LittleEndian(head, 26, 2) & 0x3FFF, LittleEndian(head, 28, 2) & 0x3FFF);
    }
    return std::nullopt;
}

}  // namespace

std::optional<ImageDimensions> ReadImageDimensions(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const Bytes head = ReadAt(file, 0, 64);
    if (StartsWith(head, "\x89PNG\r\n\x1a\n") && head.size() >= 24) {
        return Dimensions(BigEndian(head, 16, 4), BigEndian(head, 20, 4));
    }
    if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        return JpegDimensions(file);
    }
    if (StartsWith(head, "BM") && head.size() >= 26) {
        // Height is negative for top-down bitmaps.
        const auto height = static_cast<std::int32_t>(LittleEndian(head, 22, 4));
        return Dimensions(LittleEndian(head, 18, 4), height < 0 ? -static_cast<std::int64_t>(height) : height);
    }
    if ((StartsWith(head, "II*") || StartsWith(head, "MM\0*")) && head.size() >= 8) {
        return TiffDimensions(file, head);
    }
    if (StartsWith(head, "RIFF") && StartsWith(head, "WEBP", 8)) {
        return WebpDimensions(head);
    }
    if (head.size() >= 3 && head[0] == 'P' && std::strchr("123456", head[1]) != nullptr && head[1] != '\0') {
        return NetpbmDimensions(head);
    }
    return std::nullopt;
}

}  // namespace StitchTool
}  // namespace ZOLT
