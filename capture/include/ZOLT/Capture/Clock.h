#pragma once

// The time every capture loop waits through, so that tests can run it on a virtual clock.

#include <chrono>

namespace ZOLT {
namespace Capture {

class Clock {
public:
    using Duration = std::chrono::steady_clock::duration;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    virtual TimePoint Now() const = 0;
    virtual void Sleep(Duration duration) = 0;
};

/// The steady clock and a real sleep.
class SystemClock final : public Clock {
public:
    TimePoint Now() const override;
    void Sleep(Duration duration) override;
};

}  // namespace Capture
}  // namespace ZOLT
