#include "ProviderAccess.h"
#include "SpillTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>

using ZOLT::Testing::FileSizeLimit;
using ZOLT::Testing::InspectableProvider;
using ZOLT::Testing::ReadBytes;
using ZOLT::Testing::TempFolder;
using ZOLT::Testing::WriteBytes;
using Bytes = std::vector<unsigned char>;

namespace {

cv::Mat RandomMatrix(int rows, int cols, int type, std::uint64_t seed)
{
    cv::Mat matrix(rows, cols, type);
    cv::RNG(seed).fill(matrix, cv::RNG::UNIFORM, 0, 256);
    return matrix;
}

bool Identical(const cv::Mat& first, const cv::Mat& second)
{
    if (first.size() != second.size() || first.type() != second.type()) {
        return false;
    }
    return first.empty() || cv::norm(first, second, cv::NORM_INF) == 0.0;
}

/// The 20 header bytes of a spill file, little-endian.
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

Bytes WithPixels(Bytes header, std::size_t pixelBytes)
{
    header.resize(header.size() + pixelBytes, 0x5A);
    return header;
}

class SpillFiles : public ::testing::Test {
protected:
    cv::Mat RoundTrip(cv::Mat& image, const std::string& name)
    {
        EXPECT_TRUE(provider_.SaveMat(image, folder_.File(name)));
        cv::Mat loaded;
        provider_.LoadMat(loaded, folder_.File(name));
        return loaded;
    }

    void ExpectUnreadable(const std::string& path)
    {
        cv::Mat loaded;
        try {
            provider_.LoadMat(loaded, path);
            ADD_FAILURE() << "LoadMat accepted " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Could not open or read file.");
        }
    }

    void ExpectRejected(const Bytes& contents)
    {
        const std::string path = folder_.File("crafted");
        WriteBytes(path, contents);
        ExpectUnreadable(path);
    }

    TempFolder folder_;
    InspectableProvider provider_{folder_.Prefix()};
};

}  // namespace

TEST_F(SpillFiles, FullHdCaptureHasTheDesignedHeaderAndReadsBackEqual)
{
    cv::Mat capture = RandomMatrix(1080, 1920, CV_8UC4, 1);
    const cv::Mat loaded = RoundTrip(capture, "capture");

    const Bytes bytes = ReadBytes(folder_.File("capture"));
    ASSERT_EQ(bytes.size(), 8294420U);
    const Bytes header(bytes.begin(), bytes.begin() + 20);
    EXPECT_EQ(header, (Bytes{0x80, 0x07, 0x00, 0x00, 0x38, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0x18, 0x00, 0x00, 0x00}));
    EXPECT_EQ(std::memcmp(bytes.data() + 20, capture.data, 8294400), 0);
    EXPECT_TRUE(Identical(loaded, capture));
}

TEST_F(SpillFiles, OtherChannelCountsAndDepthsRoundTrip)
{
    struct Case {
        int type;
        std::uint64_t elementSize;
    };
    for (const Case& format : {Case{CV_8UC1, 1}, Case{CV_8UC3, 3}, Case{CV_16UC3, 6}, Case{CV_32FC2, 8}}) {
        cv::Mat image = RandomMatrix(23, 37, format.type, 2);
        const cv::Mat loaded = RoundTrip(image, "image");
        const Bytes bytes = ReadBytes(folder_.File("image"));
        ASSERT_EQ(bytes.size(), 20 + 23 * 37 * format.elementSize) << "type " << format.type;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 20), Header(37, 23, format.elementSize, format.type));
        EXPECT_TRUE(Identical(loaded, image)) << "type " << format.type;
    }
}

TEST_F(SpillFiles, EmptyMatrixIsTwentyZeroBytes)
{
    cv::Mat empty;
    const cv::Mat loaded = RoundTrip(empty, "empty");
    EXPECT_EQ(ReadBytes(folder_.File("empty")), Bytes(20, 0));
    EXPECT_TRUE(loaded.empty());

    // A matrix with one dimension 0 keeps its type and width through the round trip.
    cv::Mat noRows(0, 5, CV_8UC4);
    const cv::Mat loadedNoRows = RoundTrip(noRows, "no-rows");
    EXPECT_EQ(ReadBytes(folder_.File("no-rows")), Header(5, 0, 4, CV_8UC4));
    EXPECT_TRUE(loadedNoRows.empty());
    EXPECT_EQ(loadedNoRows.type(), CV_8UC4);
}

TEST_F(SpillFiles, ViewIsWrittenWithItsRowsBackToBack)
{
    const cv::Mat whole = RandomMatrix(50, 60, CV_8UC4, 3);
    cv::Mat view = whole(cv::Rect(7, 5, 20, 30));
    ASSERT_FALSE(view.isContinuous());
    cv::Mat copy = view.clone();

    const cv::Mat loaded = RoundTrip(view, "view");
    ASSERT_TRUE(provider_.SaveMat(copy, folder_.File("copy")));
    EXPECT_EQ(ReadBytes(folder_.File("view")), ReadBytes(folder_.File("copy")));
    EXPECT_TRUE(Identical(loaded, view));
}

TEST_F(SpillFiles, LoadingIntoAViewWritesOnlyInsideTheView)
{
    cv::Mat source = RandomMatrix(20, 20, CV_8UC4, 4);
    ASSERT_TRUE(provider_.SaveMat(source, folder_.File("source")));

    cv::Mat whole(40, 40, CV_8UC4, cv::Scalar(7, 7, 7, 7));
    cv::Mat view = whole(cv::Rect(10, 10, 20, 20));
    provider_.LoadMat(view, folder_.File("source"));

    EXPECT_TRUE(Identical(view, source));
    view.setTo(cv::Scalar(7, 7, 7, 7));
    EXPECT_EQ(cv::norm(whole, cv::Mat(40, 40, CV_8UC4, cv::Scalar(7, 7, 7, 7)), cv::NORM_INF), 0.0);
}

TEST_F(SpillFiles, FailedWritesReportFalseAndLeaveNoFile)
{
    cv::Mat image = RandomMatrix(100, 100, CV_8UC4, 5);
    const std::string missing = folder_.File("missing") + "/image";
    EXPECT_FALSE(provider_.SaveMat(image, missing));
    EXPECT_FALSE(std::filesystem::exists(missing));

    // A write cut short by the file-size limit must not leave a partial file behind.
    const std::string partial = folder_.File("partial");
    {
        const FileSizeLimit limit(1000);
        if (!limit.Active()) {
            GTEST_SKIP() << "cannot lower the file-size limit here";
        }
        EXPECT_FALSE(provider_.SaveMat(image, partial));
    }
    EXPECT_FALSE(std::filesystem::exists(partial));
}

TEST_F(SpillFiles, MissingShortAndTruncatedFilesAreUnreadable)
{
    ExpectUnreadable(folder_.File("never-written"));
    ExpectRejected(Bytes());
    ExpectRejected(Bytes(19, 0));

    cv::Mat image = RandomMatrix(8, 9, CV_8UC4, 6);
    ASSERT_TRUE(provider_.SaveMat(image, folder_.File("image")));
    Bytes truncated = ReadBytes(folder_.File("image"));
    truncated.pop_back();
    ExpectRejected(truncated);
}

TEST_F(SpillFiles, BytesAfterThePixelBlockAreIgnored)
{
    cv::Mat image = RandomMatrix(8, 9, CV_8UC3, 7);
    ASSERT_TRUE(provider_.SaveMat(image, folder_.File("image")));
    Bytes longer = ReadBytes(folder_.File("image"));
    longer.insert(longer.end(), 333, 0xEE);
    WriteBytes(folder_.File("longer"), longer);

    cv::Mat loaded;
    provider_.LoadMat(loaded, folder_.File("longer"));
    EXPECT_TRUE(Identical(loaded, image));
}

TEST_F(SpillFiles, HostileHeadersAreRejectedWithoutTouchingMemory)
{
    // Each file carries more pixel bytes than its header could honestly need, so only the
    // header checks stand between the reader and a write past the matrix.
    const std::size_t plenty = 4096;
    ExpectRejected(WithPixels(Header(-4, 2, 4, CV_8UC4), plenty));
    ExpectRejected(WithPixels(Header(4, -2, 4, CV_8UC4), plenty));
    ExpectRejected(WithPixels(Header(INT_MIN, INT_MIN, 4, CV_8UC4), plenty));
    ExpectRejected(WithPixels(Header(4, 4, 8, CV_8UC4), plenty));   // element size larger than the type's
    ExpectRejected(WithPixels(Header(4, 4, 1, CV_8UC4), plenty));   // and smaller
    ExpectRejected(WithPixels(Header(4, 4, 0, CV_8UC4), plenty));   // 0 belongs to empty matrices only
    ExpectRejected(WithPixels(Header(4, 4, 4, -1), plenty));        // type codes outside the mask
    ExpectRejected(WithPixels(Header(4, 4, 4, 0x1000 | CV_8UC4), plenty));
    // Pixel blocks whose size overflows 64 bits, or the largest stream offset.
    ExpectRejected(WithPixels(Header(INT_MAX, INT_MAX, 4096, CV_MAKETYPE(CV_64F, 512)), plenty));
    ExpectRejected(WithPixels(Header(INT_MAX, INT_MAX, 4, CV_8UC4), plenty));
    // Honest but huge: rejected for the missing pixels before anything is allocated.
    ExpectRejected(WithPixels(Header(100000, 100000, 4, CV_8UC4), plenty));
}

TEST_F(SpillFiles, TempFileNamesAreThePrefixAndTwentyFourAlphanumerics)
{
    // No separator is inserted: a prefix without one yields names beside the folder.
    const std::string prefix = folder_.File("spill-");
    InspectableProvider provider(prefix);
    for (int draw = 0; draw < 50; ++draw) {
        const std::string name = provider.GetTempFileName();
        ASSERT_EQ(name.size(), prefix.size() + 24);
        EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0);
        for (std::size_t position = prefix.size(); position < name.size(); ++position) {
            const char character = name[position];
            EXPECT_TRUE((character >= '0' && character <= '9') || (character >= 'A' && character <= 'Z') ||
                        (character >= 'a' && character <= 'z'))
                << name;
        }
        EXPECT_FALSE(std::filesystem::exists(name));
    }
    EXPECT_TRUE(folder_.Files().empty());  // naming only tests; it creates nothing
}
