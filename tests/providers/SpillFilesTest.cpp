// The spill-file format: a 20-byte header and the pixel rows back to back; what the reader refuses;
// and the names the provider gives its files.

#include "ProviderAccess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace ZOLT {
namespace Testing {
namespace {

/// The 20 header bytes of a spill file, little-endian: columns, rows, element size, type.
Bytes Header(std::int32_t cols, std::int32_t rows, std::uint64_t elementSize, std::int32_t type)
{
    Bytes bytes;
    const auto append = [&bytes](std::uint64_t value, int size) {
        for (int byte = 0; byte < size; ++byte) {
            bytes.push_back(static_cast<unsigned char>((value >> (8 * byte)) & 0xFFU));
        }
    };
    append(static_cast<std::uint32_t>(cols), 4);
    append(static_cast<std::uint32_t>(rows), 4);
    append(elementSize, 8);
    append(static_cast<std::uint32_t>(type), 4);
    return bytes;
}

class SpillFiles : public ::testing::Test {
protected:
    /// Saves `image`, checks the file's header, and returns what loading it gives.
    cv::Mat RoundTrip(cv::Mat& image, const Bytes& header)
    {
        EXPECT_TRUE(provider_.SaveMat(image, folder_ / "image"));
        const Bytes bytes = ReadBytes(folder_ / "image");
        EXPECT_EQ(bytes.size(), 20 + image.total() * image.elemSize());
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + std::min<std::size_t>(20, bytes.size())), header);
        cv::Mat loaded;
        provider_.LoadMat(loaded, folder_ / "image");
        return loaded;
    }

    /// The message LoadMat throws for a file of `contents` (or for no file at all).
    std::string LoadError(const Bytes* contents)
    {
        if (contents != nullptr) {
            WriteBytes(folder_ / "crafted", *contents);
        }
        cv::Mat loaded;
        try {
            provider_.LoadMat(loaded, folder_ / "crafted");
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "accepted";
    }

    TempFolder folder_;
    InspectableProvider provider_{folder_.Prefix()};
};

TEST_F(SpillFiles, FullHdCaptureHasTheDesignedHeaderAndReadsBackEqual)
{
    cv::Mat capture = Noise(cv::Size(1920, 1080), 1);
    const Bytes header{0x80, 0x07, 0x00, 0x00, 0x38, 0x04, 0x00, 0x00, 0x04, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00};
    EXPECT_TRUE(SamePixels(RoundTrip(capture, header), capture));
    EXPECT_EQ(std::memcmp(ReadBytes(folder_ / "image").data() + 20, capture.data, 8294400), 0);
}

TEST_F(SpillFiles, OtherFormatsViewsAndEmptyMatricesRoundTrip)
{
    const struct {
        int type;
        std::uint64_t elementSize;
    } formats[] = {{CV_8UC1, 1}, {CV_8UC3, 3}, {CV_16UC3, 6}, {CV_32FC2, 8}};
    for (const auto& format : formats) {
        cv::Mat image = Noise(cv::Size(37, 23), 2, format.type);
        EXPECT_TRUE(SamePixels(RoundTrip(image, Header(37, 23, format.elementSize, format.type)), image)) << format.type;
    }
    // A view is written with its rows back to back, and read back equal.
    const cv::Mat whole = Noise(cv::Size(60, 50), 3);
    cv::Mat view = whole(cv::Rect(7, 5, 20, 30));
    ASSERT_FALSE(view.isContinuous());
    EXPECT_TRUE(SamePixels(RoundTrip(view, Header(20, 30, 4, CV_8UC4)), view));
    EXPECT_EQ(std::memcmp(ReadBytes(folder_ / "image").data() + 20, view.clone().data, 20 * 30 * 4), 0);

    // Empty matrices: twenty zero bytes, or a header that keeps the type and width.
    cv::Mat empty;
    EXPECT_TRUE(RoundTrip(empty, Bytes(20, 0)).empty());
    cv::Mat noRows(0, 5, CV_8UC4);
    const cv::Mat loaded = RoundTrip(noRows, Header(5, 0, 4, CV_8UC4));
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(loaded.type(), CV_8UC4);
}

TEST_F(SpillFiles, LoadingIntoAViewWritesOnlyInsideTheView)
{
    cv::Mat source = Noise(cv::Size(20, 20), 4);
    ASSERT_TRUE(provider_.SaveMat(source, folder_ / "source"));
    cv::Mat whole(40, 40, CV_8UC4, cv::Scalar::all(7));
    cv::Mat view = whole(cv::Rect(10, 10, 20, 20));
    provider_.LoadMat(view, folder_ / "source");
    EXPECT_TRUE(SamePixels(view, source));
    view.setTo(cv::Scalar::all(7));
    EXPECT_TRUE(SamePixels(whole, cv::Mat(40, 40, CV_8UC4, cv::Scalar::all(7))));
}

TEST_F(SpillFiles, FailedWritesReportFalseAndLeaveNoFile)
{
    cv::Mat image = Noise(cv::Size(100, 100), 5);
    EXPECT_FALSE(provider_.SaveMat(image, (folder_ / "missing") + "/image"));
    const FileSizeLimit limit(1000);
    if (!limit.Active()) {
        GTEST_SKIP() << "cannot lower the file-size limit here";
    }
    EXPECT_FALSE(provider_.SaveMat(image, folder_ / "partial"));
    EXPECT_TRUE(folder_.Entries().empty());
}

TEST_F(SpillFiles, TheReaderRefusesWhatItCannotFillHonestly)
{
    cv::Mat image = Noise(cv::Size(9, 8), 6, CV_8UC3);
    ASSERT_TRUE(provider_.SaveMat(image, folder_ / "image"));
    Bytes truncated = ReadBytes(folder_ / "image");
    truncated.pop_back();
    // Bytes after the pixel block are ignored.
    Bytes longer = ReadBytes(folder_ / "image");
    longer.insert(longer.end(), 333, 0xEE);
    ASSERT_EQ(LoadError(&longer), "accepted");

    const auto padded = [](Bytes header) {
        header.resize(header.size() + 4096, 0x5A);  // more pixel bytes than an honest header needs
        return header;
    };
    const Bytes refused[] = {
        Bytes(), Bytes(19, 0), truncated,
        padded(Header(-4, 2, 4, CV_8UC4)), padded(Header(4, -2, 4, CV_8UC4)), padded(Header(INT_MIN, INT_MIN, 4, CV_8UC4)),
        // Element sizes other than the type's; 0 belongs to empty matrices only.
        padded(Header(4, 4, 8, CV_8UC4)), padded(Header(4, 4, 1, CV_8UC4)), padded(Header(4, 4, 0, CV_8UC4)),
        // Type codes outside the mask.
        padded(Header(4, 4, 4, -1)), padded(Header(4, 4, 4, 0x1000 | CV_8UC4)),
        // Pixel blocks whose size overflows 64 bits or the largest stream offset, or that are
        // honest but huge: refused for the missing pixels before anything is allocated.
        padded(Header(INT_MAX, INT_MAX, 4096, CV_MAKETYPE(CV_64F, 512))), padded(Header(INT_MAX, INT_MAX, 4, CV_8UC4)),
        padded(Header(100000, 100000, 4, CV_8UC4))};
    for (const Bytes& contents : refused) {
        EXPECT_EQ(LoadError(&contents), "Could not open or read file.") << contents.size() << " bytes";
    }
    std::filesystem::remove(folder_ / "crafted");
    EXPECT_EQ(LoadError(nullptr), "Could not open or read file.");
}

TEST_F(SpillFiles, TempFileNamesAreThePrefixAndTwentyFourAlphanumerics)
{
    // No separator is inserted: a prefix without one yields names beside the folder. Naming
    // creates nothing.
    const std::string prefix = folder_ / "spill-";
    const std::string name = InspectableProvider(prefix).GetTempFileName();
    ASSERT_EQ(name.size(), prefix.size() + 24);
    EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0);
    EXPECT_TRUE(std::all_of(name.begin() + prefix.size(), name.end(),
                            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        << name;
    EXPECT_TRUE(folder_.Entries().empty());
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
