// The capture loops on a fake window and a virtual clock: what they capture, where they stop,
// and how they treat windows that repaint late, never settle, do not scroll or close.

#include "FakeBackend.h"
#include "SyntheticCaptures.h"
#include "TestImages.h"

#include <ZOLT/Capture/CaptureError.h>
#include <ZOLT/Capture/ScrollLoop.h>
#include <ZOLT/Capture/WatchLoop.h>
#include <ZOLT/PageStitcher.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace ZOLT {
namespace Testing {
namespace {

using namespace std::chrono_literals;
using Capture::Axis;
using Capture::CaptureEnd;

constexpr int kLength = 1400;
constexpr int kView = 200;
constexpr int kHeader = 24;

cv::Mat LongPage(Axis axis)
{
    return axis == Axis::Rows ? MakePage(cv::Size(320, kLength), 5) : MakePage(cv::Size(kLength, 320), 6);
}

cv::Size ViewSize(Axis axis)
{
    return axis == Axis::Rows ? cv::Size(320, kView) : cv::Size(kView, 320);
}

/// What a loop handed to its host.
struct Recorded {
    std::vector<cv::Mat> captures;
    std::vector<int> positions;
};

Capture::LoopHost HostFor(Recorded& recorded, Axis axis, std::size_t stopAfter = 0)
{
    const int direction = axis == Axis::Rows ? 0 : 1;
    return Capture::LoopHost{[&recorded](const cv::Mat& capture, int position) {
                                 recorded.captures.push_back(capture);
                                 recorded.positions.push_back(position);
                             },
                             [&recorded, stopAfter] { return stopAfter != 0 && recorded.captures.size() >= stopAfter; },
                             [direction](const cv::Mat& previous, const cv::Mat& current) {
                                 const Stitching::Translation moved =
                                     Stitching::PageStitcher::MeasurePair(previous, current, direction);
                                 return -(direction == 0 ? moved.GetRows() : moved.GetCols());
                             },
                             {}};
}

/// Every capture shows the page where its reported position, counted from `firstAt`, says.
void ExpectCapturesAtTheirPositions(const FakeBackend& window, const Recorded& recorded, int firstAt)
{
    for (std::size_t i = 0; i < recorded.captures.size(); ++i) {
        EXPECT_TRUE(SamePixels(recorded.captures[i], window.ViewAt(firstAt + recorded.positions[i])))
            << "capture " << i << " at " << recorded.positions[i];
    }
}

struct ScrollCase {
    const char* name;
    Axis axis;
    bool towardStart;
    bool fromStart;
    int start;
};

class ScrollLoopTest : public ::testing::TestWithParam<ScrollCase> {};

// A window that repaints late and loads an image after every move, with a toolbar: the loop
// captures each step only once it settled, at half the scrolling area a step, to the end.
TEST_P(ScrollLoopTest, CapturesSettledStepsOfHalfTheAreaUntilTheEnd)
{
    const ScrollCase& c = GetParam();
    VirtualClock clock;
    FakeWindow fake;
    fake.lazyImage = 300ms;
    fake.header = c.axis == Axis::Rows ? kHeader : 0;
    FakeBackend window(LongPage(c.axis), ViewSize(c.axis), c.axis, clock, fake, c.start);
    Capture::ScrollPlan plan;
    plan.axis = c.axis;
    plan.towardStart = c.towardStart;
    plan.fromStart = c.fromStart;
    Recorded recorded;
    const Capture::Target target = window.Find({});

    EXPECT_EQ(Capture::RunScrollLoop(window, target, plan, clock, HostFor(recorded, c.axis)), CaptureEnd::PageEnd);

    const int end = c.towardStart ? 0 : window.LastPosition();
    const int firstAt = c.fromStart ? window.LastPosition() - end : c.start;
    ExpectCapturesAtTheirPositions(window, recorded, firstAt);
    EXPECT_EQ(firstAt + recorded.positions.back(), end);
    const int scrolling = kView - fake.header;
    for (std::size_t i = 2; i + 1 < recorded.positions.size(); ++i) {
        const int step = std::abs(recorded.positions[i] - recorded.positions[i - 1]);
        EXPECT_GE(step, scrolling * 3 / 10) << "step " << i;
        EXPECT_LE(step, scrolling * 7 / 10) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Directions, ScrollLoopTest,
                         ::testing::Values(ScrollCase{"down", Axis::Rows, false, false, 0},
                                           ScrollCase{"right", Axis::Columns, false, false, 0},
                                           ScrollCase{"up_from_the_end", Axis::Rows, true, false, 1200},
                                           ScrollCase{"from_the_start_begun_midway", Axis::Rows, false, true, 610},
                                           ScrollCase{"left_from_the_end_begun_midway", Axis::Columns, true, true,
                                                      330}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TroubleCase {
    const char* name;
    FakeWindow window;
    std::size_t stopAfter;
    CaptureEnd end;
    std::size_t captures;
};

FakeWindow Animated()
{
    FakeWindow window;
    window.animated = true;
    return window;
}

FakeWindow Unscrollable()
{
    FakeWindow window;
    window.scrolls = false;
    return window;
}

class ScrollTroubleTest : public ::testing::TestWithParam<TroubleCase> {};

TEST_P(ScrollTroubleTest, EndsWithWhatWasCaptured)
{
    const TroubleCase& c = GetParam();
    VirtualClock clock;
    FakeBackend window(LongPage(Axis::Rows), ViewSize(Axis::Rows), Axis::Rows, clock, c.window);
    Recorded recorded;
    const Capture::ScrollPlan plan;

    EXPECT_EQ(Capture::RunScrollLoop(window, window.Find({}), plan, clock, HostFor(recorded, Axis::Rows, c.stopAfter)),
              c.end);
    EXPECT_EQ(recorded.captures.size(), c.captures);
    if (c.end == CaptureEnd::Unsettled) {
        EXPECT_LT(clock.Now() - VirtualClock().Now(), plan.settle.giveUp + plan.settle.settle);
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, ScrollTroubleTest,
                         ::testing::Values(TroubleCase{"animated", Animated(), 0, CaptureEnd::Unsettled, 0},
                                           TroubleCase{"unscrollable", Unscrollable(), 0, CaptureEnd::NoMovement, 1},
                                           TroubleCase{"stopped", FakeWindow(), 2, CaptureEnd::Stopped, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScrollLoop, AWindowClosedMidwayEndsTheLoopWithItsError)
{
    VirtualClock clock;
    FakeWindow closing;
    closing.closeAfterGrabs = 12;
    FakeBackend window(LongPage(Axis::Rows), ViewSize(Axis::Rows), Axis::Rows, clock, closing);
    Recorded recorded;
    try {
        Capture::RunScrollLoop(window, window.Find({}), Capture::ScrollPlan(), clock, HostFor(recorded, Axis::Rows));
        FAIL() << "the loop went on without its window";
    } catch (const Capture::CaptureError& error) {
        EXPECT_EQ(error.GetKind(), Capture::CaptureError::Kind::TargetGone);
    }
    EXPECT_FALSE(recorded.captures.empty());
}

// The user starts midway, scrolls down in irregular steps (one fast run of small moves without
// a pause), to the end, back up past the start to the top, and stops. Kept: each pause that
// shows something new, and one grab of the fast run, half a view on; dropped: the pauses on the
// way back over what was captured.
TEST(WatchLoop, KeepsEachNewPauseOnceAndFollowsFastMoves)
{
    VirtualClock clock;
    FakeWindow fake;
    fake.header = kHeader;
    const int start = 300;
    FakeBackend window(LongPage(Axis::Rows), ViewSize(Axis::Rows), Axis::Rows, clock, fake, start);
    struct Step {
        std::chrono::milliseconds at;
        int position;
    };
    const std::vector<Step> script = {{900ms, 380},   {1700ms, 430},  {1750ms, 470},  {1800ms, 520},  {1850ms, 580},
                                      {2600ms, 700},  {3400ms, 810},  {4000ms, 900},  {4900ms, 1000}, {5600ms, 1100},
                                      {6400ms, 1200}, {7200ms, 1100}, {7800ms, 1000}, {8400ms, 880},  {9100ms, 760},
                                      {9800ms, 640},  {10500ms, 520}, {11200ms, 400}, {11900ms, 290}, {12600ms, 180},
                                      {13300ms, 70},  {14000ms, 0}};
    for (const Step& step : script) {
        window.UserMoves(step.at, step.position);
    }
    Capture::WatchPlan plan;
    plan.idle = 3s;
    Recorded recorded;

    EXPECT_EQ(Capture::RunWatchLoop(window, window.Find({}), plan, clock, HostFor(recorded, Axis::Rows)),
              CaptureEnd::Idle);

    ExpectCapturesAtTheirPositions(window, recorded, start);
    std::vector<int> kept;
    for (const int position : recorded.positions) {
        kept.push_back(start + position);
    }
    EXPECT_EQ(kept, (std::vector<int>{300, 380, 470, 580, 700, 810, 900, 1000, 1100, 1200, 290, 180, 70, 0}));
    EXPECT_GE(clock.Now() - VirtualClock().Now(), 14s + plan.idle);
}

TEST(WatchLoop, AWindowThatNeverSettlesGivesNoCapture)
{
    VirtualClock clock;
    FakeBackend window(LongPage(Axis::Rows), ViewSize(Axis::Rows), Axis::Rows, clock, Animated());
    Recorded recorded;
    EXPECT_EQ(
        Capture::RunWatchLoop(window, window.Find({}), Capture::WatchPlan(), clock, HostFor(recorded, Axis::Rows)),
        CaptureEnd::Unsettled);
    EXPECT_TRUE(recorded.captures.empty());
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
