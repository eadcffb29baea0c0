#include <ZOLT/Capture/Clock.h>

#include <thread>

namespace ZOLT {
namespace Capture {

Clock::TimePoint SystemClock::Now() const
{
    return std::chrono::steady_clock::now();
}

void SystemClock::Sleep(Duration duration)
{
    std::this_thread::sleep_for(duration);
}

}  // namespace Capture
}  // namespace ZOLT
