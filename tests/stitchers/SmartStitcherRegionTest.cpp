// The smart stitcher's image operations on their own: where the changing region lies, how it is
// widened to the capture edges, and how the stitched region is framed.

#include "SmartStitcherAccess.h"

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using ZOLT::Stitching::SmartStitcher;
using ZOLT::Stitching::StitcherParameters;
using Access = ZOLT::Stitching::TestAccess<SmartStitcher>;

namespace {

SmartStitcher MakeStitcher(const StitcherParameters& parameters = StitcherParameters(), int scaleFactor = 1)
{
    return SmartStitcher(nullptr, parameters, scaleFactor);
}

cv::Mat Plain(int rows, int cols, int type = CV_8UC4)
{
    return cv::Mat(rows, cols, type, cv::Scalar(100, 100, 100, 255));
}

cv::Mat Noise(int rows, int cols, std::uint64_t seed, int type = CV_8UC4)
{
    cv::Mat image(rows, cols, type);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

void Change(cv::Mat& image, int row, int col)
{
    image.at<cv::Vec4b>(row, col) = cv::Vec4b(255, 255, 255, 255);
}

/// Moves every byte of one pixel half the byte range away: 4 x 128 apart from before.
void Shift(cv::Mat& image, int row, int col)
{
    for (unsigned char& byte : image.at<cv::Vec4b>(row, col).val) {
        byte = static_cast<unsigned char>(byte + 128);
    }
}

bool Equal(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

/// The message of the std::invalid_argument that `call` throws, or "" when it throws none.
template <typename Call>
std::string InvalidArgumentMessage(Call call)
{
    try {
        call();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "";
}

}  // namespace

// --- Region search -------------------------------------------------------------------------

TEST(SmartStitcherRegion, BoundingBoxOfTheChangedPixels)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Plain(40, 50);
    cv::Mat last = first.clone();
    Change(last, 10, 20);
    Change(last, 11, 21);
    EXPECT_EQ(Access::FindRegion(stitcher, first, last), cv::Rect(20, 10, 2, 2));

    Change(last, 30, 5);
    EXPECT_EQ(Access::FindRegion(stitcher, first, last), cv::Rect(5, 10, 17, 21));
}

TEST(SmartStitcherRegion, LessThanTwoByTwoGivesTheWholeCapture)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Plain(40, 50);
    const cv::Rect whole(0, 0, 50, 40);

    EXPECT_EQ(Access::FindRegion(stitcher, first, first.clone()), whole);

    cv::Mat onePixel = first.clone();
    Change(onePixel, 10, 20);
    EXPECT_EQ(Access::FindRegion(stitcher, first, onePixel), whole);

    cv::Mat oneRow = first.clone();
    oneRow.row(12).setTo(cv::Scalar(0, 0, 0, 0));
    EXPECT_EQ(Access::FindRegion(stitcher, first, oneRow), whole);

    cv::Mat oneColumn = first.clone();
    oneColumn.col(7).setTo(cv::Scalar(0, 0, 0, 0));
    EXPECT_EQ(Access::FindRegion(stitcher, first, oneColumn), whole);
}

TEST(SmartStitcherRegion, OnlyDifferencesAboveTheThresholdCount)
{
    StitcherParameters parameters;
    parameters.differenceThreshold = 200;
    const SmartStitcher stitcher = MakeStitcher(parameters);
    const cv::Mat first = Plain(20, 30);

    // Sums of absolute byte differences: 100 + 100 = 200 is not above the threshold, 201 is.
    cv::Mat atThreshold = first.clone();
    atThreshold.at<cv::Vec4b>(5, 6) = cv::Vec4b(200, 200, 100, 255);
    atThreshold.at<cv::Vec4b>(6, 7) = cv::Vec4b(0, 100, 100, 155);
    EXPECT_EQ(Access::FindRegion(stitcher, first, atThreshold), cv::Rect(0, 0, 30, 20));

    cv::Mat aboveThreshold = atThreshold.clone();
    aboveThreshold.at<cv::Vec4b>(5, 6) = cv::Vec4b(200, 201, 100, 255);
    aboveThreshold.at<cv::Vec4b>(6, 7) = cv::Vec4b(0, 100, 100, 154);
    EXPECT_EQ(Access::FindRegion(stitcher, first, aboveThreshold), cv::Rect(6, 5, 2, 2));

    parameters.differenceThreshold = 0;
    const SmartStitcher strict = MakeStitcher(parameters);
    cv::Mat slight = first.clone();
    slight.at<cv::Vec4b>(2, 3)[0] = 101;
    slight.at<cv::Vec4b>(4, 9)[3] = 254;
    EXPECT_EQ(Access::FindRegion(strict, first, slight), cv::Rect(3, 2, 7, 3));
}

TEST(SmartStitcherRegion, EveryChannelCountFromOneToFour)
{
    const SmartStitcher stitcher = MakeStitcher();
    for (int channels = 1; channels <= 4; ++channels) {
        const int type = CV_8UC(channels);
        const cv::Mat first(16, 16, type, cv::Scalar::all(0));
        cv::Mat last = first.clone();
        // Only the last channel changes, by more than the threshold.
        last.ptr<unsigned char>(3)[4 * channels + channels - 1] = 250;
        last.ptr<unsigned char>(9)[8 * channels + channels - 1] = 250;
        EXPECT_EQ(Access::FindRegion(stitcher, first, last), cv::Rect(4, 3, 5, 7)) << channels << " channels";
    }
}

TEST(SmartStitcherRegion, IncomparableCapturesGiveTheWholeFirstCapture)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(30, 40, 1);
    const cv::Rect whole(0, 0, 40, 30);
    EXPECT_EQ(Access::FindRegion(stitcher, first, Noise(30, 41, 2)), whole);
    EXPECT_EQ(Access::FindRegion(stitcher, first, Noise(31, 40, 2)), whole);
    EXPECT_EQ(Access::FindRegion(stitcher, first, Noise(30, 40, 2, CV_8UC3)), whole);
    // Samples wider than a byte do not fit the four-byte colour.
    cv::Mat wide(30, 40, CV_16UC4, cv::Scalar::all(0));
    cv::Mat wideChanged = wide.clone();
    wideChanged(cv::Rect(5, 5, 4, 4)).setTo(cv::Scalar::all(60000));
    EXPECT_EQ(Access::FindRegion(stitcher, wide, wideChanged), whole);
}

TEST(SmartStitcherRegion, ViewsAreReadThroughTheirOwnRows)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat larger = Noise(60, 90, 3);
    const cv::Mat view = larger(cv::Rect(7, 9, 40, 30));
    cv::Mat changed = view.clone();
    Shift(changed, 28, 30);
    Shift(changed, 29, 39);
    const cv::Rect expected(30, 28, 10, 2);
    EXPECT_EQ(Access::FindRegion(stitcher, view, changed), expected);
    EXPECT_EQ(Access::FindRegion(stitcher, changed, view), expected);
}

// --- Widening to the edges ----------------------------------------------------------------

TEST(SmartStitcherWidening, AbsorbsNarrowGapsAndKeepsWideOnes)
{
    const SmartStitcher stitcher = MakeStitcher();  // threshold 20 x 1
    const cv::Size capture(800, 600);
    EXPECT_EQ(Access::Widen(stitcher, cv::Rect(15, 80, 770, 500), capture), cv::Rect(0, 80, 800, 500));

    // Gaps of 19 pixels on every side join the region; gaps of 20 stay margins.
    EXPECT_EQ(Access::Widen(stitcher, cv::Rect(19, 19, 800 - 38, 600 - 38), capture), cv::Rect(0, 0, 800, 600));
    const cv::Rect wideGaps(20, 20, 800 - 40, 600 - 40);
    EXPECT_EQ(Access::Widen(stitcher, wideGaps, capture), wideGaps);

    const cv::Rect touching(0, 0, 800, 600);
    EXPECT_EQ(Access::Widen(stitcher, touching, capture), touching);
}

TEST(SmartStitcherWidening, ThresholdScalesWithTheScaleFactor)
{
    StitcherParameters parameters;
    parameters.minimumBorderWidth = 10;
    const cv::Size capture(300, 200);

    const SmartStitcher tripled = MakeStitcher(parameters, 3);
    EXPECT_EQ(Access::Widen(tripled, cv::Rect(29, 30, 300 - 29 - 30, 200 - 30 - 29), capture),
              cv::Rect(0, 30, 300 - 30, 200 - 30));

    const SmartStitcher unscaled = MakeStitcher(parameters, 0);
    const cv::Rect narrowGaps(1, 1, 298, 198);
    EXPECT_EQ(Access::Widen(unscaled, narrowGaps, capture), narrowGaps);
}

// --- Framing ------------------------------------------------------------------------------

TEST(SmartStitcherFraming, TopAndBottomStripsAroundATallerRegion)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(600, 800, 4);
    const cv::Mat stitched = Noise(900, 800, 5);
    // Scale factor 0 makes any margin-colour read fail, so this also shows that none is made.
    const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(0, 80, 800, 500), 0);

    ASSERT_EQ(canvas.size(), cv::Size(800, 1000));
    EXPECT_TRUE(Equal(canvas.rowRange(0, 80), first.rowRange(0, 80)));
    EXPECT_TRUE(Equal(canvas.rowRange(80, 980), stitched));
    EXPECT_TRUE(Equal(canvas.rowRange(980, 1000), first.rowRange(580, 600)));
}

TEST(SmartStitcherFraming, BottomStripKeepsToTheRegionColumnsAndStitchedPixelsWin)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(60, 70, 6);
    const cv::Rect region(20, 15, 30, 25);  // margins: left 20, top 15, right 20, bottom 20
    const cv::Mat stitched = Noise(55, 30, 7);
    const cv::Mat canvas = Access::Frame(stitcher, first, stitched, region, 1);

    ASSERT_EQ(canvas.size(), cv::Size(70, 90));
    EXPECT_TRUE(Equal(canvas.rowRange(0, 15), first.rowRange(0, 15)));
    EXPECT_TRUE(Equal(canvas(cv::Rect(20, 15, 30, 55)), stitched));
    EXPECT_TRUE(Equal(canvas(cv::Rect(20, 70, 30, 20)), first(cv::Rect(20, 40, 30, 20))));
    EXPECT_TRUE(Equal(canvas(cv::Rect(0, 0, 20, 60)), first(cv::Rect(0, 0, 20, 60))));
    EXPECT_TRUE(Equal(canvas(cv::Rect(50, 0, 20, 60)), first(cv::Rect(50, 0, 20, 60))));

    // A stitched matrix wider than the region covers the right strip that lands inside it.
    const cv::Mat wider = Noise(55, 40, 8);
    const cv::Mat widerCanvas = Access::Frame(stitcher, first, wider, region, 1);
    ASSERT_EQ(widerCanvas.size(), cv::Size(80, 90));
    EXPECT_TRUE(Equal(widerCanvas(cv::Rect(20, 15, 40, 55)), wider));
}

TEST(SmartStitcherFraming, LeftMarginColumnsTakeOneColourOverTheFullHeight)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(100, 40, 8);
    const cv::Mat stitched = Noise(160, 37, 9);
    const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(3, 0, 37, 100), 1);

    ASSERT_EQ(canvas.size(), cv::Size(40, 160));
    const int sampledRows[3] = {88, 89, 90};
    for (int column = 0; column < 3; ++column) {
        const cv::Mat below = canvas(cv::Rect(column, 100, 1, 60));
        const cv::Mat expected(60, 1, CV_8UC4, cv::Scalar(first.at<cv::Vec4b>(sampledRows[column], column)));
        EXPECT_TRUE(Equal(below, expected)) << "column " << column;
    }
    EXPECT_TRUE(Equal(canvas(cv::Rect(0, 0, 3, 100)), first(cv::Rect(0, 0, 3, 100))));
    EXPECT_TRUE(Equal(canvas(cv::Rect(3, 0, 37, 160)), stitched));
}

TEST(SmartStitcherFraming, RightMarginSamplingIsNotTheMirrorOfTheLeft)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(100, 40, 10);
    const cv::Mat stitched = Noise(130, 36, 11);
    const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(0, 0, 36, 100), 1);

    // Margin columns j = 1..4 (outermost first) come from rows 100 - 9 .. 100 - 12.
    ASSERT_EQ(canvas.size(), cv::Size(40, 130));
    for (int j = 1; j <= 4; ++j) {
        const cv::Vec4b expected = first.at<cv::Vec4b>(100 - (8 + j), 40 - j);
        EXPECT_EQ(canvas.at<cv::Vec4b>(100, 40 - j), expected) << "j " << j;
        EXPECT_EQ(canvas.at<cv::Vec4b>(129, 40 - j), expected) << "j " << j;
    }
}

TEST(SmartStitcherFraming, SamplingRowsStopTwoScaledRowsAboveTheBottom)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(100, 80, 12);
    const cv::Mat stitched = Noise(120, 30, 13);
    for (const int s : {1, 2}) {
        const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(25, 0, 30, 100), s);
        // Left: 12s rows up at the edge, one row lower per column inwards, never below 2s rows up.
        for (int i = 0; i < 25; ++i) {
            const int row = 100 - std::max(2 * s, 12 * s - i);
            EXPECT_EQ(canvas.at<cv::Vec4b>(110, i), first.at<cv::Vec4b>(row, i)) << "s " << s << " left " << i;
        }
        // Right: 12s rows up at the innermost column, one row lower per column outwards.
        for (int j = 1; j <= 25; ++j) {
            const int row = 100 - std::max(2 * s, 12 * s - 25 + j);
            EXPECT_EQ(canvas.at<cv::Vec4b>(110, 80 - j), first.at<cv::Vec4b>(row, 80 - j)) << "s " << s << " j " << j;
        }
    }
}

TEST(SmartStitcherFraming, NoMarginsGiveTheStitchedMatrix)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(30, 20, 14);
    const cv::Mat stitched = Noise(70, 20, 15);
    EXPECT_TRUE(Equal(Access::Frame(stitcher, first, stitched, cv::Rect(0, 0, 20, 30), 1), stitched));
}

TEST(SmartStitcherFraming, FewerChannelsAreSampledByteForByte)
{
    const SmartStitcher stitcher = MakeStitcher();
    for (int channels = 1; channels <= 3; ++channels) {
        const cv::Mat first = Noise(50, 10, 16, CV_8UC(channels));
        const cv::Mat stitched = Noise(80, 8, 17, CV_8UC(channels));
        const cv::Mat canvas = Access::Frame(stitcher, first, stitched, cv::Rect(2, 0, 8, 50), 1);
        const unsigned char* sampled = first.ptr<unsigned char>(50 - 12);
        const unsigned char* drawn = canvas.ptr<unsigned char>(70);
        for (int channel = 0; channel < channels; ++channel) {
            EXPECT_EQ(drawn[channel], sampled[channel]) << channels << " channels";
        }
    }
}

TEST(SmartStitcherFraming, UnreadableSamplingRowsThrowTheReaderErrors)
{
    const SmartStitcher stitcher = MakeStitcher();
    const std::string outOfBounds = "'position' is out of bounds.";
    const std::string badChannels = "'image' has an unsupported number of channels.";

    // A left margin needs 12s rows; 11 rows are too few.
    const cv::Mat shortFirst = Noise(11, 20, 18);
    EXPECT_EQ(InvalidArgumentMessage(
                  [&] { Access::Frame(stitcher, shortFirst, Noise(30, 18, 19), cv::Rect(2, 0, 18, 11), 1); }),
              outOfBounds);
    // Scale factor 0 samples the row just below the capture, on either side.
    const cv::Mat first = Noise(40, 20, 20);
    EXPECT_EQ(InvalidArgumentMessage([&] { Access::Frame(stitcher, first, Noise(60, 18, 21), cv::Rect(0, 0, 18, 40), 0); }),
              outOfBounds);

    // Five channels: the channel error, unless the bounds check fails first.
    const cv::Mat fiveChannels = Noise(40, 20, 22, CV_8UC(5));
    EXPECT_EQ(InvalidArgumentMessage([&] {
                  Access::Frame(stitcher, fiveChannels, Noise(60, 18, 23, CV_8UC(5)), cv::Rect(2, 0, 18, 40), 1);
              }),
              badChannels);
    const cv::Mat shortFiveChannels = Noise(11, 20, 24, CV_8UC(5));
    EXPECT_EQ(InvalidArgumentMessage([&] {
                  Access::Frame(stitcher, shortFiveChannels, Noise(30, 18, 25, CV_8UC(5)), cv::Rect(2, 0, 18, 11), 1);
              }),
              outOfBounds);
}

TEST(SmartStitcherFraming, MismatchedTypesFailInsteadOfDroppingStrips)
{
    const SmartStitcher stitcher = MakeStitcher();
    const cv::Mat first = Noise(40, 20, 26);
    const cv::Mat stitched = Noise(60, 20, 27, CV_8UC3);
    EXPECT_THROW(Access::Frame(stitcher, first, stitched, cv::Rect(0, 10, 20, 30), 1), cv::Exception);
}
