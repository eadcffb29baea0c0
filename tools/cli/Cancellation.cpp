#include "Cancellation.h"

#include "ExitCodes.h"

#include <algorithm>
#include <atomic>
#include <csignal>

#include <unistd.h>

namespace ZOLT {
namespace Cli {

namespace {

// The signal handler may only touch lock-free atomics, so the counts live here rather than in
// an object the tool passes around.
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the stop signals must be counted lock-free for the signal handler");
std::atomic<int> signalsToCancel{1};
std::atomic<int> stopSignals{0};

extern "C" void OnStopSignal(int)
{
    if (stopSignals.fetch_add(1) + 1 > signalsToCancel.load()) {
        _exit(static_cast<int>(ExitCode::Cancelled));
    }
}

}  // namespace

void InstallCancelHandlers(int signalsToCancelRun)
{
    signalsToCancel.store(signalsToCancelRun < 1 ? 1 : signalsToCancelRun);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted reads and writes: the request is looked at between stages instead.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignals()
{
    return stopSignals.load();
}

bool CancelRequested()
{
    return stopSignals.load() >= signalsToCancel.load();
}

void RequestCancel()
{
    // A signal arriving meanwhile may be overwritten; either way the run is cancelled.
    stopSignals.store(std::max(stopSignals.load(), signalsToCancel.load()));
}

void StopCancelled()
{
    throw ToolError(ExitCode::Cancelled, "cancelled; nothing was written");
}

}  // namespace Cli
}  // namespace ZOLT
