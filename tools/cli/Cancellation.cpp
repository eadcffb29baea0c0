#include "Cancellation.h"

#include "ExitCodes.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace ZOLT {
namespace Cli {

namespace {

// The signal handler may only touch lock-free atomics.
static_assert(ATOMIC_BOOL_LOCK_FREE == 2, "the stop request must be lock-free for the signal handler");
std::atomic<bool> stopRequested{false};

extern "C" void OnStopSignal(int)
{
    if (stopRequested.exchange(true)) {
        _exit(static_cast<int>(ExitCode::Cancelled));
    }
}

}  // namespace

void InstallCancelHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted reads and writes: the request is looked at between stages instead.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelRequested()
{
    return stopRequested.load();
}

void RequestCancel()
{
    stopRequested.store(true);
}

void StopCancelled()
{
    throw ToolError(ExitCode::Cancelled, "cancelled; nothing was written");
}

}  // namespace Cli
}  // namespace ZOLT
