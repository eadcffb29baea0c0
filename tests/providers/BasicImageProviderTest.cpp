#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using ZOLT::BasicImageProvider;

namespace {

cv::Mat Capture(unsigned char value)
{
    return cv::Mat(4, 6, CV_8UC4, cv::Scalar::all(value));
}

std::string OutOfRangeText(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::out_of_range& error) {
        return error.what();
    }
    return "no exception";
}

}  // namespace

TEST(BasicImageProvider, StoresHeaderCopiesThatSharePixelsWithTheCaller)
{
    BasicImageProvider provider;
    cv::Mat capture = Capture(10);
    provider.Add(capture);

    capture.at<cv::Vec4b>(1, 2) = cv::Vec4b(1, 2, 3, 4);
    EXPECT_EQ(provider.GetImageAt(0)->at<cv::Vec4b>(1, 2), cv::Vec4b(1, 2, 3, 4));

    capture = Capture(99);  // a new matrix for the caller leaves the stored capture alone
    EXPECT_EQ(provider.GetImageAt(0)->at<cv::Vec4b>(0, 0), cv::Vec4b(10, 10, 10, 10));
}

TEST(BasicImageProvider, HandsOutTheSameSharedObjectOnEveryCall)
{
    BasicImageProvider provider;
    cv::Mat capture = Capture(1);
    provider.Add(capture);

    const auto first = provider.GetImageAt(0);
    const auto second = provider.GetImageAt(0);
    EXPECT_EQ(first.get(), second.get());
    *first = Capture(42);
    EXPECT_EQ(second->at<cv::Vec4b>(0, 0)[0], 42);
    EXPECT_EQ(provider.GetImageAt(0)->at<cv::Vec4b>(0, 0)[0], 42);
    EXPECT_EQ(provider.GetLastImage().get(), first.get());
}

TEST(BasicImageProvider, CopiesShareCapturesButNotTheList)
{
    BasicImageProvider source;
    for (unsigned char value : {1, 2, 3}) {
        cv::Mat capture = Capture(value);
        source.Add(capture);
    }
    BasicImageProvider copy(source);
    EXPECT_EQ(copy.Count(), 3U);
    EXPECT_EQ(copy.GetImageAt(1).get(), source.GetImageAt(1).get());

    copy.Clear();
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(source.Count(), 3U);

    BasicImageProvider assigned;
    assigned = source;
    cv::Mat replacement = Capture(7);
    assigned.SetImageAt(0, replacement);
    EXPECT_EQ(source.GetImageAt(0)->at<cv::Vec4b>(0, 0)[0], 1);
    EXPECT_EQ(assigned.GetImageAt(0)->at<cv::Vec4b>(0, 0)[0], 7);
}

TEST(BasicImageProvider, ReplacingACaptureLeavesHoldersOfTheOldOneWithIt)
{
    BasicImageProvider provider;
    cv::Mat first = Capture(5);
    provider.Add(first);
    const auto held = provider.GetImageAt(0);
    cv::Mat second = Capture(6);
    provider.SetImageAt(0, second);
    EXPECT_EQ(held->at<cv::Vec4b>(0, 0)[0], 5);
    EXPECT_EQ(provider.GetImageAt(0)->at<cv::Vec4b>(0, 0)[0], 6);
}

TEST(BasicImageProvider, IndicesPastTheEndThrowOutOfRange)
{
    BasicImageProvider provider;
    provider.Clear();
    EXPECT_EQ(provider.Count(), 0U);
    EXPECT_EQ(OutOfRangeText([&] { provider.GetLastImage(); }), "invalid vector subscript");

    cv::Mat capture = Capture(3);
    provider.Add(capture);
    EXPECT_EQ(OutOfRangeText([&] { provider.GetImageAt(provider.Count()); }), "invalid vector subscript");
    EXPECT_EQ(OutOfRangeText([&] { provider.SetImageAt(1, capture); }), "invalid vector subscript");
    EXPECT_EQ(provider.Count(), 1U);
}
