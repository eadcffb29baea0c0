#pragma once

// Ctrl-C and SIGTERM: a request to stop that every stage of the run looks at.

namespace ZOLT {
namespace Cli {

/// Installs the SIGINT and SIGTERM handlers. Signals are counted: the `signalsToCancel`-th one
/// only records the request to cancel, so the run can stop at its next check and clean up (a
/// tool may give the signals before it a meaning of its own); one more ends the process at once
/// with the cancel exit code, leaving temporary files behind.
void InstallCancelHandlers(int signalsToCancel = 1);

/// How many stop signals arrived so far. Safe from any thread.
int StopSignals();

/// Whether a cancel was requested. Safe from any thread.
bool CancelRequested();

/// Records a cancel request, whatever signals came before.
void RequestCancel();

/// Ends the run as cancelled: throws ToolError with the cancel exit code.
[[noreturn]] void StopCancelled();

}  // namespace Cli
}  // namespace ZOLT
