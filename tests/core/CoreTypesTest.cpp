// The value types' designed defaults and comparisons, and the listener codes' fixed values.

#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

namespace ZOLT {
namespace Stitching {
namespace {

using L = IStitcherListener;
static_assert(sizeof(L::StitcherErrorCodes) == 4 && sizeof(L::StitcherWarningCodes) == 4, "32-bit codes");
static_assert(L::NoError == 0 && L::NoImages == 1 && L::ResultSizingFailed == 2 && L::Cancelled == 4 &&
                  L::BorderApplicationFailed == 5,
              "error codes");
static_assert(L::DiagonalTranslation == 1 && L::TooManyZeroTranslations == 2 &&
                  L::TooManyConsecutiveZeroTranslations == 3 && L::WeakCorrelation == 4,
              "warning codes");

TEST(CoreTypes, TranslationsCompareBothFieldsInOrderAndParametersHaveTheirDefaults)
{
    EXPECT_EQ(Translation(), Translation(0, 0));
    EXPECT_FALSE(Translation(3, -4) == Translation(-4, 3));
    EXPECT_TRUE(Translation(3, -4) != Translation(3, 4));
    EXPECT_EQ(Translation(3, -4).GetRows(), 3);
    EXPECT_EQ(Translation(3, -4).GetCols(), -4);

    const StitcherParameters defaults;
    EXPECT_EQ(defaults.direction, 2);
    EXPECT_FALSE(defaults.useAlternativePeak);
    EXPECT_EQ(defaults.maxThreads, 1);
    EXPECT_EQ(defaults.maxZeroTranslationsPercent, 30U);
    EXPECT_EQ(defaults.maxConsecutiveZeroTranslations, 2U);
    EXPECT_EQ(defaults.minimumPeakValue, 50000.0);
    EXPECT_EQ(defaults.differenceThreshold, 200);
    EXPECT_EQ(defaults.minimumBorderWidth, 20);
}

}  // namespace
}  // namespace Stitching
}  // namespace ZOLT
