#pragma once

// Ctrl-C and SIGTERM: a request to stop that every stage of the run looks at.

namespace ZOLT {
namespace Cli {

/// Installs the SIGINT and SIGTERM handlers. The first signal only records the request, so
/// the run can stop at its next check and clean up; a second one ends the process at once with
/// the cancel exit code, leaving temporary files behind.
void InstallCancelHandlers();

/// Whether a stop was requested. Safe from any thread.
bool CancelRequested();

/// Records a stop request as a signal would.
void RequestCancel();

/// Ends the run as cancelled: throws ToolError with the cancel exit code.
[[noreturn]] void StopCancelled();

}  // namespace Cli
}  // namespace ZOLT
