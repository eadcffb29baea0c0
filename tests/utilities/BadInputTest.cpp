// Bad input to the static image operations: empty images, points and ranges outside the image or
// at the ends of the int range, images of another channel count, depth or size. Each row gives
// the designed outcome (the operation's own message with the image unchanged, the pixels it
// changed, or the OpenCV exception), never an access outside the image.

#include "BadInput.h"

#include <ZOLT/Utilities.h>

#include <gtest/gtest.h>

#include <climits>

using ZOLT::Stitching::Translation;
using ZOLT::Stitching::Utilities;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Thrown;

namespace {

/// A 10 x 10 image of `type` with every sample 200 (alpha included). Made from planes: OpenCV
/// fills matrices of at most four channels from a scalar.
cv::Mat Filled(int type, cv::Size size = cv::Size(10, 10))
{
    const std::vector<cv::Mat> planes(CV_MAT_CN(type), cv::Mat(size, CV_MAT_DEPTH(type), cv::Scalar(200)));
    cv::Mat image;
    cv::merge(planes, image);
    return image;
}

/// How many pixels differ between the two images.
int ChangedPixels(const cv::Mat& before, const cv::Mat& after)
{
    if (before.empty()) {
        return 0;
    }
    cv::Mat difference;
    cv::absdiff(before, after, difference);
    cv::Mat perPixel;
    cv::reduce(difference.reshape(1, static_cast<int>(difference.total())), perPixel, 1, cv::REDUCE_MAX);
    return cv::countNonZero(perPixel);
}

std::function<void(Probe&)> Crop(cv::Mat capture, Translation translation, cv::Size size)
{
    return [=](Probe& probe) {
        cv::Mat changed = capture.clone();
        Utilities::CropCaptureImage(changed, translation, cv::Rect(cv::Point(), size));
        probe.result = "changed " + std::to_string(ChangedPixels(capture, changed));
    };
}

std::function<void(Probe&)> Clip(cv::Mat image, cv::Point first, cv::Point second)
{
    return [=](Probe& probe) {
        cv::Mat changed = image.clone();
        Utilities::ClipCorner(changed, first, second, true);
        probe.result = "changed " + std::to_string(ChangedPixels(image, changed));
    };
}

/// Blends `source` into a copy of `target`; the result counts the target pixels that changed.
std::function<void(Probe&)> Blend(cv::Mat source, cv::Mat target, cv::Range rows, cv::Range cols)
{
    return [=](Probe& probe) {
        cv::Mat changed = target.clone();
        Utilities::BlendImages(source, changed, rows, cols);
        probe.result = "changed " + std::to_string(ChangedPixels(target, changed));
    };
}

std::function<void(Probe&)> Similarity(cv::Mat first, cv::Mat second)
{
    return [=](Probe& probe) {
        probe.result = std::to_string(Utilities::CalculateSimilarity(first, second));
    };
}

/// A source of `type` whose alpha (channel 3) is 0 in its left half.
cv::Mat HalfTransparent(int type)
{
    std::vector<cv::Mat> planes;
    for (int channel = 0; channel < CV_MAT_CN(type); ++channel) {
        planes.emplace_back(4, 4, CV_MAT_DEPTH(type), cv::Scalar(9));
    }
    planes[3].colRange(0, 2).setTo(0);
    cv::Mat source;
    cv::merge(planes, source);
    return source;
}

const std::string kOutOfBounds = "Points given are out of the bounds for the given matrix\n";
const std::string kWrongSize = "The Ranges provided must be the same width and heigh as the source image\n";
const std::string kOutsideTarget = "The Ranges provided must be within the bounds of the target image\n";

const std::vector<BadInputCase>& Cases()
{
    static const std::vector<BadInputCase> cases = {
        {"CropEmptyCapture", Crop(cv::Mat(), Translation(-5, 0), cv::Size(0, 0)), Thrown::Nothing, "changed 0", "",
         kOutOfBounds},
        // The rectangle says how large captures are; a smaller capture cannot take its cut.
        {"CropRectangleLargerThanCapture", Crop(Filled(CV_8UC4), Translation(-5, 0), cv::Size(100, 100)),
         Thrown::Nothing, "changed 0", "", kOutOfBounds},
        {"CropSmallestTranslation", Crop(Filled(CV_8UC4), Translation(INT_MIN, 0), cv::Size(10, 10)), Thrown::Nothing,
         "changed 0", "", kOutOfBounds},
        {"CropLargestDiagonal", Crop(Filled(CV_8UC4), Translation(INT_MAX, INT_MAX), cv::Size(10, 10)),
         Thrown::Nothing, "changed 0", "", kOutOfBounds},
        {"CropNegativeRectangle", Crop(Filled(CV_8UC4), Translation(-4, 0), cv::Size(-10, -10)), Thrown::Nothing,
         "changed 0", "", kOutOfBounds},
        // Rows 0 to 3 of a 10-row capture moved by (-4, 0): whatever the channels and depth.
        {"CropOneChannel", Crop(Filled(CV_8UC1), Translation(-4, 0), cv::Size(10, 10)), Thrown::Nothing,
         "changed 40"},
        {"CropSixteenBit", Crop(Filled(CV_16UC4), Translation(-4, 0), cv::Size(10, 10)), Thrown::Nothing,
         "changed 40"},
        {"CropFloatSamples", Crop(Filled(CV_32FC3), Translation(-4, 0), cv::Size(10, 10)), Thrown::Nothing,
         "changed 40"},
        // The clearing draws with OpenCV, which draws on up to four channels.
        {"CropFiveChannels", Crop(Filled(CV_8UC(5)), Translation(-4, 0), cv::Size(10, 10)), Thrown::OpenCv},
        {"ClipNegativePoint", Clip(Filled(CV_8UC4), cv::Point(-1, 0), cv::Point(5, 5)), Thrown::Nothing, "changed 0",
         "", kOutOfBounds},
        {"ClipPointAtTheEnd", Clip(Filled(CV_8UC4), cv::Point(0, 0), cv::Point(10, 5)), Thrown::Nothing, "changed 0",
         "", kOutOfBounds},
        {"ClipEmptyImage", Clip(cv::Mat(), cv::Point(0, 0), cv::Point(0, 0)), Thrown::Nothing, "changed 0", "",
         kOutOfBounds},
        {"ClipSteepestLine", Clip(Filled(CV_8UC4), cv::Point(4, 0), cv::Point(5, 9)), Thrown::Nothing, "changed 55"},
        {"BlendEmptySource", Blend(cv::Mat(), Filled(CV_8UC4), cv::Range(0, 0), cv::Range(0, 0)), Thrown::Nothing,
         "changed 0"},
        {"BlendReversedRanges", Blend(HalfTransparent(CV_8UC4), Filled(CV_8UC4), cv::Range(6, 2), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", kWrongSize},
        {"BlendWholeIntRange",
         Blend(HalfTransparent(CV_8UC4), Filled(CV_8UC4), cv::Range(INT_MIN, INT_MAX), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", kWrongSize},
        {"BlendAboveTheTarget", Blend(HalfTransparent(CV_8UC4), Filled(CV_8UC4), cv::Range(-1, 3), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", kOutsideTarget},
        {"BlendPastTheTarget", Blend(HalfTransparent(CV_8UC4), Filled(CV_8UC4), cv::Range(7, 11), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", kOutsideTarget},
        {"BlendIntoEmptyTarget", Blend(HalfTransparent(CV_8UC4), cv::Mat(), cv::Range(0, 4), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", kOutsideTarget},
        {"BlendAnotherType", Blend(Filled(CV_8UC3, cv::Size(4, 4)), Filled(CV_8UC4), cv::Range(0, 4), cv::Range(0, 4)),
         Thrown::Nothing, "changed 0", "", "The source image must be of the same type as the target image\n"},
        // Channel 3 is the mask whatever the channel count and depth: the right half is copied.
        {"BlendFiveChannels", Blend(HalfTransparent(CV_8UC(5)), Filled(CV_8UC(5)), cv::Range(0, 4), cv::Range(0, 4)),
         Thrown::Nothing, "changed 8"},
        {"BlendSixteenBit", Blend(HalfTransparent(CV_16UC4), Filled(CV_16UC4), cv::Range(0, 4), cv::Range(0, 4)),
         Thrown::Nothing, "changed 8"},
        {"SimilarityOfEmptyImages", Similarity(cv::Mat(), cv::Mat()), Thrown::OpenCv},
        {"SimilarityOfOneChannel", Similarity(Filled(CV_8UC1), Filled(CV_8UC1)), Thrown::OpenCv},
        {"SimilarityOfTwoChannels", Similarity(Filled(CV_8UC2), Filled(CV_8UC2)), Thrown::OpenCv},
        {"SimilarityOfFiveChannels", Similarity(Filled(CV_8UC(5)), Filled(CV_8UC(5))), Thrown::OpenCv},
        {"SimilarityOfDifferentSizes", Similarity(Filled(CV_8UC4), Filled(CV_8UC4, cv::Size(10, 11))),
         Thrown::OpenCv},
        {"SimilarityOfThreeAndFourChannels", Similarity(Filled(CV_8UC3), Filled(CV_8UC4)), Thrown::Nothing,
         "1.000000"},
        // The 255 of the scale is that of 8-bit samples: 16-bit differences leave [0, 1].
        {"SimilarityOfSixteenBit", Similarity(cv::Mat(10, 10, CV_16UC4, cv::Scalar::all(0)), Filled(CV_16UC4) * 300),
         Thrown::Nothing, "-234.294118"},
        {"EmptyRandomName",
         [](Probe& probe) { probe.result = "'" + Utilities::GenerateRandomAlphanumericString(0) + "'"; },
         Thrown::Nothing, "''"},
    };
    return cases;
}

class UtilitiesBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(UtilitiesBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, UtilitiesBadInput, testing::ValuesIn(Cases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
