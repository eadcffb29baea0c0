// The smart stitcher's image operations on their own: where the changing region lies, how it is
// widened to the capture edges, and how the stitched region is framed.

#include "SmartStitcherAccess.h"
#include "TestImages.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace ZOLT {
namespace Stitching {
namespace {

using Access = TestAccess<SmartStitcher>;
using Testing::Noise;
using Testing::SamePixels;

SmartStitcher MakeStitcher(unsigned int differenceThreshold = 200, int minimumBorderWidth = 20, int scaleFactor = 1)
{
    StitcherParameters parameters;
    parameters.differenceThreshold = differenceThreshold;
    parameters.minimumBorderWidth = minimumBorderWidth;
    return SmartStitcher(nullptr, parameters, scaleFactor);
}

/// `base` with the given pixels replaced.
cv::Mat With(const cv::Mat& base, const std::vector<std::pair<cv::Point, cv::Vec4b>>& pixels)
{
    cv::Mat changed = base.clone();
    for (const auto& [where, colour] : pixels) {
        changed.at<cv::Vec4b>(where) = colour;
    }
    return changed;
}

TEST(SmartStitcherRegion, BoundingBoxOfThePixelsThatChangedByMoreThanTheThreshold)
{
    const cv::Mat plain(40, 50, CV_8UC4, cv::Scalar(100, 100, 100, 255));
    const cv::Rect whole(0, 0, 50, 40);
    const cv::Vec4b white(255, 255, 255, 255);
    cv::Mat oneRow = plain.clone();
    oneRow.row(12).setTo(cv::Scalar::all(0));
    cv::Mat oneColumn = plain.clone();
    oneColumn.col(7).setTo(cv::Scalar::all(0));
    // Sums of absolute byte differences: 100 + 100 = 200 is not above the threshold, 201 is.
    const cv::Mat atThreshold = With(plain, {{{6, 5}, {200, 200, 100, 255}}, {{7, 6}, {0, 100, 100, 155}}});
    const cv::Mat aboveThreshold = With(plain, {{{6, 5}, {200, 201, 100, 255}}, {{7, 6}, {0, 100, 100, 154}}});
    const cv::Mat slight = With(plain, {{{3, 2}, {101, 100, 100, 255}}, {{9, 4}, {100, 100, 100, 254}}});
    const cv::Mat larger = Noise(cv::Size(90, 60), 3);
    const cv::Mat view = larger(cv::Rect(7, 9, 40, 30));
    cv::Mat shifted = view.clone();
    for (const cv::Point at : {cv::Point(30, 28), cv::Point(39, 29)}) {
        for (unsigned char& byte : shifted.at<cv::Vec4b>(at).val) {
            byte = static_cast<unsigned char>(byte + 128);  // every byte half the range away
        }
    }
    cv::Mat wide(40, 50, CV_16UC4, cv::Scalar::all(0));
    cv::Mat wideChanged = wide.clone();
    wideChanged(cv::Rect(5, 5, 4, 4)).setTo(cv::Scalar::all(60000));

    const struct {
        const char* name;
        cv::Mat first;
        cv::Mat last;
        unsigned int threshold;
        cv::Rect expected;
    } cases[] = {
        {"two pixels", plain, With(plain, {{{20, 10}, white}, {{21, 11}, white}}), 200, cv::Rect(20, 10, 2, 2)},
        {"three pixels", plain, With(plain, {{{20, 10}, white}, {{21, 11}, white}, {{5, 30}, white}}), 200,
         cv::Rect(5, 10, 17, 21)},
        // Less than two by two changed pixels give the whole capture.
        {"identical", plain, plain.clone(), 200, whole},
        {"one pixel", plain, With(plain, {{{20, 10}, white}}), 200, whole},
        {"one row", plain, oneRow, 200, whole},
        {"one column", plain, oneColumn, 200, whole},
        {"at the threshold", plain, atThreshold, 200, whole},
        {"above the threshold", plain, aboveThreshold, 200, cv::Rect(6, 5, 2, 2)},
        {"threshold 0", plain, slight, 0, cv::Rect(3, 2, 7, 3)},
        // Views are read through their own rows.
        {"view first", view, shifted, 200, cv::Rect(30, 28, 10, 2)},
        {"view last", shifted, view, 200, cv::Rect(30, 28, 10, 2)},
        // Captures that cannot be compared byte by byte give the whole first capture.
        {"wider", plain, Noise(cv::Size(51, 40), 2), 200, whole},
        {"taller", plain, Noise(cv::Size(50, 41), 2), 200, whole},
        {"fewer channels", plain, Noise(cv::Size(50, 40), 2, CV_8UC3), 200, whole},
        {"16-bit", wide, wideChanged, 200, whole},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Access::FindRegion(MakeStitcher(c.threshold), c.first, c.last), c.expected) << c.name;
    }

    for (int channels = 1; channels <= 4; ++channels) {
        const cv::Mat first(16, 16, CV_8UC(channels), cv::Scalar::all(0));
        cv::Mat last = first.clone();
        // Only the last channel changes, by more than the threshold.
        last.ptr<unsigned char>(3)[4 * channels + channels - 1] = 250;
        last.ptr<unsigned char>(9)[8 * channels + channels - 1] = 250;
        EXPECT_EQ(Access::FindRegion(MakeStitcher(), first, last), cv::Rect(4, 3, 5, 7)) << channels << " channels";
    }
}

TEST(SmartStitcherRegion, WideningAbsorbsGapsNarrowerThanTheScaledBorderWidth)
{
    const cv::Size large(800, 600);
    const cv::Size small(300, 200);
    const cv::Rect wideGaps(20, 20, 760, 560);
    const cv::Rect narrowGaps(1, 1, 298, 198);
    const struct {
        int borderWidth;
        int scaleFactor;
        cv::Size capture;
        cv::Rect region;
        cv::Rect expected;
    } cases[] = {
        {20, 1, large, cv::Rect(15, 80, 770, 500), cv::Rect(0, 80, 800, 500)},
        {20, 1, large, cv::Rect(19, 19, 762, 562), cv::Rect(0, 0, 800, 600)},  // gaps of 19 join the region
        {20, 1, large, wideGaps, wideGaps},                                     // gaps of 20 stay margins
        {20, 1, large, cv::Rect(0, 0, 800, 600), cv::Rect(0, 0, 800, 600)},
        {10, 3, small, cv::Rect(29, 30, 241, 141), cv::Rect(0, 30, 270, 170)},
        {10, 0, small, narrowGaps, narrowGaps},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Access::Widen(MakeStitcher(200, c.borderWidth, c.scaleFactor), c.region, c.capture), c.expected)
            << c.region;
    }
}

TEST(SmartStitcherFraming, StripsAroundTheStitchedRegionAndStitchedPixelsWin)
{
    const SmartStitcher stitcher = MakeStitcher();
    // Full-width region: top and bottom strips only. Scale factor 0 makes any margin-colour read
    // fail, so this also shows that none is made.
    const cv::Mat tallFirst = Noise(cv::Size(800, 600), 4);
    const cv::Mat tallStitched = Noise(cv::Size(800, 900), 5);
    const cv::Mat tall = Access::Frame(stitcher, tallFirst, tallStitched, cv::Rect(0, 80, 800, 500), 0);
    ASSERT_EQ(tall.size(), cv::Size(800, 1000));
    EXPECT_TRUE(SamePixels(tall.rowRange(0, 80), tallFirst.rowRange(0, 80)));
    EXPECT_TRUE(SamePixels(tall.rowRange(80, 980), tallStitched));
    EXPECT_TRUE(SamePixels(tall.rowRange(980, 1000), tallFirst.rowRange(580, 600)));

    // Margins left 20, top 15, right 20, bottom 20: the bottom strip keeps to the region's columns.
    const cv::Mat first = Noise(cv::Size(70, 60), 6);
    const cv::Rect region(20, 15, 30, 25);
    const cv::Mat stitched = Noise(cv::Size(30, 55), 7);
    const cv::Mat canvas = Access::Frame(stitcher, first, stitched, region, 1);
    ASSERT_EQ(canvas.size(), cv::Size(70, 90));
    EXPECT_TRUE(SamePixels(canvas.rowRange(0, 15), first.rowRange(0, 15)));
    EXPECT_TRUE(SamePixels(canvas(cv::Rect(20, 15, 30, 55)), stitched));
    EXPECT_TRUE(SamePixels(canvas(cv::Rect(20, 70, 30, 20)), first(cv::Rect(20, 40, 30, 20))));
    EXPECT_TRUE(SamePixels(canvas(cv::Rect(0, 0, 20, 60)), first(cv::Rect(0, 0, 20, 60))));
    EXPECT_TRUE(SamePixels(canvas(cv::Rect(50, 0, 20, 60)), first(cv::Rect(50, 0, 20, 60))));

    // A stitched matrix wider than the region covers the right strip that lands inside it.
    const cv::Mat wider = Noise(cv::Size(40, 55), 8);
    const cv::Mat widerCanvas = Access::Frame(stitcher, first, wider, region, 1);
    ASSERT_EQ(widerCanvas.size(), cv::Size(80, 90));
    EXPECT_TRUE(SamePixels(widerCanvas(cv::Rect(20, 15, 40, 55)), wider));

    // No margins: the stitched matrix itself.
    const cv::Mat narrow = Noise(cv::Size(20, 70), 15);
    EXPECT_TRUE(SamePixels(Access::Frame(stitcher, Noise(cv::Size(20, 30), 14), narrow, cv::Rect(0, 0, 20, 30), 1),
                           narrow));
    // Strips of another type than the stitched matrix fail instead of being dropped.
    EXPECT_THROW(Access::Frame(stitcher, Noise(cv::Size(20, 40), 26), Noise(cv::Size(20, 60), 27, CV_8UC3),
                               cv::Rect(0, 10, 20, 30), 1),
                 cv::Exception);
}

TEST(SmartStitcherFraming, SideMarginsBelowTheFirstCaptureTakeOneSampledColourEach)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(cv::Size(80, 100), 12);
    const cv::Mat stitched = Noise(cv::Size(30, 120), 13);
    for (const int s : {1, 2}) {
        const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(25, 0, 30, 100), s);
        ASSERT_EQ(canvas.size(), cv::Size(80, 120));
        EXPECT_TRUE(SamePixels(canvas(cv::Rect(0, 0, 25, 100)), first(cv::Rect(0, 0, 25, 100))));
        // Left: 12s rows up at the edge, one row lower per column inwards, never below 2s rows up.
        // Right: 12s rows up at the innermost column, one row lower per column outwards: not the
        // mirror of the left.
        for (int i = 0; i < 25; ++i) {
            const int j = 25 - i;
            const cv::Mat left(20, 1, CV_8UC4, cv::Scalar(first.at<cv::Vec4b>(100 - std::max(2 * s, 12 * s - i), i)));
            const cv::Mat right(20, 1, CV_8UC4,
                                cv::Scalar(first.at<cv::Vec4b>(100 - std::max(2 * s, 12 * s - 25 + j), 80 - j)));
            EXPECT_TRUE(SamePixels(canvas(cv::Rect(i, 100, 1, 20)), left)) << "s " << s << " left " << i;
            EXPECT_TRUE(SamePixels(canvas(cv::Rect(80 - j, 100, 1, 20)), right)) << "s " << s << " right " << j;
        }
    }
    // Fewer channels are sampled byte for byte.
    for (int channels = 1; channels <= 3; ++channels) {
        const cv::Mat few = Noise(cv::Size(10, 50), 16, CV_8UC(channels));
        const cv::Mat canvas = Access::Frame(stitcher, few, Noise(cv::Size(8, 80), 17, CV_8UC(channels)),
                                             cv::Rect(2, 0, 8, 50), 1);
        for (int channel = 0; channel < channels; ++channel) {
            EXPECT_EQ(canvas.ptr<unsigned char>(70)[channel], few.ptr<unsigned char>(50 - 12)[channel]) << channels;
        }
    }
}

TEST(SmartStitcherFraming, UnreadableSamplingRowsThrowTheReaderErrors)
{
    const SmartStitcher stitcher = MakeStitcher();
    const std::string outOfBounds = "'position' is out of bounds.";
    const std::string badChannels = "'image' has an unsupported number of channels.";
    const struct {
        const char* name;
        int rows;
        int type;
        int regionX;
        int scaleFactor;
        std::string message;
    } cases[] = {
        {"a left margin needs 12s rows", 11, CV_8UC4, 2, 1, outOfBounds},
        {"scale 0 samples the row below the capture", 40, CV_8UC4, 0, 0, outOfBounds},
        {"five channels", 40, CV_8UC(5), 2, 1, badChannels},
        {"the bounds are checked before the channels", 11, CV_8UC(5), 2, 1, outOfBounds},
    };
    for (const auto& c : cases) {
        const cv::Mat first = Noise(cv::Size(20, c.rows), 18, c.type);
        const cv::Mat stitched = Noise(cv::Size(18, c.rows + 20), 19, c.type);
        std::string message;
        try {
            Access::Frame(stitcher, first, stitched, cv::Rect(c.regionX, 0, 18, c.rows), c.scaleFactor);
        } catch (const std::invalid_argument& error) {
            message = error.what();
        }
        EXPECT_EQ(message, c.message) << c.name;
    }
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
