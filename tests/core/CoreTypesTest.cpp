#include <ZOLT/Stitching.h>

#include <gtest/gtest.h>

#include <type_traits>

using ZOLT::Stitching::IStitcherListener;
using ZOLT::Stitching::StitcherParameters;
using ZOLT::Stitching::Translation;

TEST(Translation, EqualityComparesBothFieldsInOrder)
{
    EXPECT_EQ(Translation(), Translation(0, 0));
    EXPECT_FALSE(Translation() != Translation(0, 0));
    EXPECT_NE(Translation(3, -4), Translation(-4, 3));
    EXPECT_EQ(Translation(3, -4).GetRows(), 3);
    EXPECT_EQ(Translation(3, -4).GetCols(), -4);

    Translation value(7, 9);
    const Translation& alias = value;
    value = alias;
    EXPECT_EQ(value, Translation(7, 9));
}

TEST(StitcherParameters, DefaultsAndAssignmentCoverAllEightFields)
{
    const StitcherParameters defaults;
    EXPECT_EQ(defaults.direction, 2);
    EXPECT_FALSE(defaults.useAlternativePeak);
    EXPECT_EQ(defaults.maxThreads, 1);
    EXPECT_EQ(defaults.maxZeroTranslationsPercent, 30U);
    EXPECT_EQ(defaults.maxConsecutiveZeroTranslations, 2U);
    EXPECT_EQ(defaults.minimumPeakValue, 50000.0);
    EXPECT_EQ(defaults.differenceThreshold, 200);
    EXPECT_EQ(defaults.minimumBorderWidth, 20);

    StitcherParameters source;
    source.direction = 0;
    source.useAlternativePeak = true;
    source.maxThreads = 4;
    source.maxZeroTranslationsPercent = 12;
    source.maxConsecutiveZeroTranslations = 5;
    source.minimumPeakValue = 1.5;
    source.differenceThreshold = 9;
    source.minimumBorderWidth = 3;
    StitcherParameters target;
    target = source;
    EXPECT_EQ(target.direction, 0);
    EXPECT_TRUE(target.useAlternativePeak);
    EXPECT_EQ(target.maxThreads, 4);
    EXPECT_EQ(target.maxZeroTranslationsPercent, 12U);
    EXPECT_EQ(target.maxConsecutiveZeroTranslations, 5U);
    EXPECT_EQ(target.minimumPeakValue, 1.5);
    EXPECT_EQ(target.differenceThreshold, 9);
    EXPECT_EQ(target.minimumBorderWidth, 3);
}

TEST(ListenerCodes, HaveTheirFixedThirtyTwoBitValues)
{
    static_assert(sizeof(IStitcherListener::StitcherErrorCodes) == 4, "32-bit error codes");
    static_assert(sizeof(IStitcherListener::StitcherWarningCodes) == 4, "32-bit warning codes");
    EXPECT_EQ(IStitcherListener::NoError, 0);
    EXPECT_EQ(IStitcherListener::NoImages, 1);
    EXPECT_EQ(IStitcherListener::ResultSizingFailed, 2);
    EXPECT_EQ(IStitcherListener::Cancelled, 4);
    EXPECT_EQ(IStitcherListener::BorderApplicationFailed, 5);
    EXPECT_EQ(IStitcherListener::DiagonalTranslation, 1);
    EXPECT_EQ(IStitcherListener::TooManyZeroTranslations, 2);
    EXPECT_EQ(IStitcherListener::TooManyConsecutiveZeroTranslations, 3);
    EXPECT_EQ(IStitcherListener::WeakCorrelation, 4);
}
