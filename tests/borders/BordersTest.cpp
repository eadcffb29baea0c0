// Border detection: the content box that changes between captures, the strips around it taken
// off before stitching and put back after, and what the decorator reports.

#include "RecordingListener.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace ZOLT {
namespace Testing {
namespace {

using namespace Stitching;

/// Opaque random pixels, so that any copy from the wrong place shows.
cv::Mat Pattern(cv::Size size, std::uint64_t seed = 7)
{
    cv::Mat capture = Noise(size, seed);
    capture.reshape(1, static_cast<int>(capture.total())).col(3).setTo(255);
    return capture;
}

/// `count` captures identical outside `box`, inside which every grey level moves by 150 from one
/// capture to the next.
std::vector<cv::Mat> Framed(const cv::Rect& box, int count = 2)
{
    const cv::Mat frame = Pattern(cv::Size(200, 100));
    cv::Mat content = Pattern(box.size(), 99) / 3;
    content.reshape(1, static_cast<int>(content.total())).col(3).setTo(255);
    std::vector<cv::Mat> captures;
    for (int i = 0; i < count; ++i) {
        captures.push_back(frame.clone());
        cv::Mat part = captures.back()(box);
        cv::add(content, cv::Scalar(150, 150, 150, 0) * (i % 2), part);
    }
    return captures;
}

/// A border detection that records the content box it found.
struct Recording : BasicBorderDetection {
    using BasicBorderDetection::BasicBorderDetection;
    bool CopyBorders(const cv::Mat& first, const cv::Range& rows, const cv::Range& cols) override
    {
        box = cv::Rect(cols.start, rows.start, cols.size(), rows.size());
        return BasicBorderDetection::CopyBorders(first, rows, cols);
    }
    cv::Rect box;
};

cv::Rect ContentBox(const std::vector<cv::Mat>& captures, unsigned int change, unsigned int neighbours)
{
    Recording detection(nullptr, change, neighbours);
    BasicImageProvider provider = ProviderOf(DeepCopies(captures));
    StderrOf([&] { detection.ExtractBorders(provider); });
    return detection.box;
}

cv::Mat Grey(int level = 100) { return cv::Mat(20, 30, CV_8UC4, cv::Scalar(level, level, level, 255)); }

cv::Mat WithBlock(const cv::Mat& base, const cv::Rect& box, int level)
{
    cv::Mat capture = base.clone();
    capture(box).setTo(cv::Scalar(level, level, level, 255));
    return capture;
}

TEST(ContentBox, BoundsThePixelsWithMoreChangedNeighboursThanTheThreshold)
{
    const cv::Mat changed = WithBlock(Grey(), cv::Rect(12, 8, 3, 3), 200);
    const cv::Mat lower = WithBlock(changed, cv::Rect(12, 9, 3, 3), 50);
    // In a 3 x 3 block the corners have 3 changed neighbours, the edge middles 5, the centre 8.
    EXPECT_EQ(ContentBox({Grey(), changed}, 10, 2), cv::Rect(12, 8, 3, 3));
    EXPECT_EQ(ContentBox({Grey(), changed}, 10, 5), cv::Rect(13, 9, 1, 1));
    EXPECT_EQ(ContentBox({Grey(), WithBlock(Grey(), cv::Rect(12, 8, 3, 3), 110)}, 10, 2), cv::Rect());
    EXPECT_EQ(ContentBox({Grey(), changed, lower}, 10, 2), cv::Rect(12, 8, 3, 4));  // over every pair
    EXPECT_EQ(ContentBox({Grey(), WithBlock(Grey(), cv::Rect(27, 17, 3, 3), 0)}, 10, 2), cv::Rect(27, 17, 3, 3));
}

TEST(BorderExtraction, CropsEveryCaptureAndPutsTheFirstCapturesStripsBackAround)
{
    const cv::Rect box(5, 10, 190, 80);
    const std::vector<cv::Mat> originals = Framed(box, 3);
    BasicImageProvider provider = ProviderOf(DeepCopies(originals));
    BasicBorderDetection detection(nullptr, 30, 2);
    ASSERT_TRUE(detection.ExtractBorders(provider));
    for (std::size_t i = 0; i < originals.size(); ++i) {
        EXPECT_TRUE(SamePixels(*provider.GetImageAt(i), originals[i](box)));
    }
    // Taller content: the side strips end where the first capture's do, the corners below stay 0.
    const cv::Mat content = Pattern(cv::Size(190, 500), 3);
    cv::Mat image = content.clone();
    ASSERT_TRUE(detection.ApplyBorders(image));
    cv::Mat expected = cv::Mat::zeros(520, 200, CV_8UC4);
    originals[0].rowRange(0, 90).copyTo(expected.rowRange(0, 90));
    originals[0].rowRange(90, 100).copyTo(expected.rowRange(510, 520));
    content.copyTo(expected(cv::Rect(5, 10, 190, 500)));
    EXPECT_TRUE(SamePixels(image, expected));

    // A header over a small buffer claiming 4 TiB: the framed canvas can never be allocated (an
    // address-space limit makes sure; AddressSanitizer refuses it by itself and cannot live under
    // the limit), which fails cleanly and leaves the image alone.
    std::vector<uchar> buffer(16);
    cv::Mat huge(1 << 20, 1 << 20, CV_8UC4, buffer.data());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = std::min<rlim_t>(saved.rlim_cur, rlim_t(1) << 40);
#if !defined(__SANITIZE_ADDRESS__)
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
#endif
    bool applied = true;
    const std::string errors = StderrOf([&] { applied = detection.ApplyBorders(huge); });
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_FALSE(applied);
    EXPECT_NE(errors.find("Error: Insufficient memory to apply borders.\n"), std::string::npos) << errors;
    EXPECT_EQ(huge.data, buffer.data());
}

/// Stands in for the wrapped stitcher: its "stitch" is the first capture.
struct FirstCapture : IStitcher {
    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener*, int, int, bool) override
    {
        result = provider.GetImageAt(0)->clone();
        return true;
    }
    std::vector<Translation> GetTranslations() const override { return {Translation(-3, 0)}; }
};

/// A border detection whose borders can never be put back.
struct FailingAddBorders : BasicBorderDetection {
    using BasicBorderDetection::BasicBorderDetection;
    bool AddBorders(const cv::Range&, const cv::Range&, cv::Mat&) override { return false; }
};

std::string Stitched(BorderDetection& detection, bool recoverable, cv::Mat& result)
{
    RecordingListener listener;
    listener.recoverableAnswer = recoverable;
    BasicImageProvider provider = ProviderOf(Framed(cv::Rect(5, 10, 190, 80)));
    const bool stitched = detection.Stitch(provider, result, &listener, 0, 100, true);
    return listener.Log() + (stitched ? " -> true" : " -> false");
}

TEST(BorderDetection, CompletesOnceAndLetsTheListenerDecideWhenBordersCannotGoBack)
{
    const auto wrapped = std::make_shared<FirstCapture>();
    cv::Mat result;
    BasicBorderDetection detection(wrapped, 30, 2);
    EXPECT_EQ(Stitched(detection, false, result), "complete 1 -> true");
    EXPECT_TRUE(SamePixels(result, Framed(cv::Rect(5, 10, 190, 80))[0]));
    EXPECT_EQ(detection.GetTranslations(), wrapped->GetTranslations());

    FailingAddBorders failing(wrapped, 30, 2);
    StderrOf([&] {
        EXPECT_EQ(Stitched(failing, true, result), "error 5 recoverable, complete 1 -> true");
        EXPECT_EQ(result.size(), cv::Size(190, 80));  // the content without its borders
        EXPECT_EQ(Stitched(failing, false, result), "error 5 recoverable, complete 0 -> false");
        BasicBorderDetection missing(nullptr, 30, 2);
        EXPECT_EQ(Stitched(missing, true, result), "complete 0 -> false");
    });
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
