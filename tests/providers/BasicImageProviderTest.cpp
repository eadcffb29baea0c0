// The in-memory provider: shared pixels and shared handles, copies, and indices past the end.

#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace ZOLT {
namespace {

cv::Mat Capture(unsigned char value)
{
    return cv::Mat(4, 6, CV_8UC4, cv::Scalar::all(value));
}

int FirstByte(const std::shared_ptr<cv::Mat>& capture)
{
    return capture->at<cv::Vec4b>(0, 0)[0];
}

TEST(BasicImageProvider, SharesPixelsWithTheCallerAndHandlesWithEveryReader)
{
    BasicImageProvider provider;
    cv::Mat capture = Capture(10);
    provider.Add(capture);
    capture.at<cv::Vec4b>(0, 0)[0] = 11;  // a header copy: the pixels are the caller's
    const auto held = provider.GetImageAt(0);
    EXPECT_EQ(FirstByte(held), 11);
    EXPECT_EQ(provider.GetLastImage().get(), held.get());
    // Replacing a capture leaves holders of the old one with it; copies share captures, not the list.
    BasicImageProvider copy(provider);
    cv::Mat replacement = Capture(6);
    provider.SetImageAt(0, replacement);
    EXPECT_EQ(FirstByte(held), 11);
    EXPECT_EQ(FirstByte(provider.GetImageAt(0)), 6);
    EXPECT_EQ(copy.GetImageAt(0).get(), held.get());
}

TEST(BasicImageProvider, IndicesPastTheEndThrowOutOfRange)
{
    BasicImageProvider provider;
    cv::Mat capture = Capture(3);
    const std::function<void()> calls[] = {[&] { provider.GetLastImage(); },
                                           [&] { provider.Add(capture); provider.GetImageAt(provider.Count()); },
                                           [&] { provider.SetImageAt(1, capture); }};
    for (const auto& call : calls) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const std::out_of_range& error) {
            EXPECT_STREQ(error.what(), "invalid vector subscript");
        }
    }
    EXPECT_EQ(provider.Count(), 1U);
}

}  // namespace
}  // namespace ZOLT
