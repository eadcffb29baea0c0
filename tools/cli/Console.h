#pragma once

// What the user sees: progress, warnings and errors on standard error, the summary on
// standard output.

#include "ExitCodes.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <exception>
#include <new>
#include <iosfwd>
#include <mutex>
#include <string>

namespace ZOLT {
namespace Cli {

class Console {
public:
    enum class ProgressStyle {
        /// One line redrawn in place: stage, bar, percent, elapsed time (a terminal).
        Bar,
        /// A plain line at the start of a stage and at every tenth of it (a log file, a pipe).
        Lines,
        /// No progress and no summary (--quiet).
        Silent,
    };

    /// Every line on standard error starts with "`program`: ".
    Console(const std::string& program, std::ostream& errors, std::ostream& summary, ProgressStyle style);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    /// Bar when standard error is a terminal, Lines otherwise, Silent when quiet.
    static ProgressStyle StyleForStandardError(bool quiet);

    /// Shows `percent` (0 to 100) of `stage`. Safe from any thread.
    void Progress(const std::string& stage, int percent);
    /// Removes the progress bar, so the next output starts on a clean line.
    void EndProgress();

    void Warning(const std::string& text);
    void Error(const std::string& text);
    /// A line on standard error that is neither a warning nor an error.
    void Notice(const std::string& text);
    /// A line on standard output, unless quiet.
    void Summary(const std::string& text);

private:
    void ClearBarLocked();
    void DrawBarLocked(const std::string& stage, int percent, long seconds);
    void WriteLineLocked(const std::string& stage, int percent, long seconds);
    long ElapsedSeconds() const;

    const std::string prefix_;
    std::ostream& errors_;
    std::ostream& summary_;
    const ProgressStyle style_;
    const std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::string stage_;
    int percent_ = -1;
    long seconds_ = -1;
    std::size_t barLength_ = 0;
};

/// Elapsed time as minutes and seconds, "1:05".
std::string FormatElapsed(long seconds);

/// Shows why a run ended: a notice for a cancel, an error otherwise, and after a usage error a
/// pointer to the help of `program`. Returns the error's exit code.
ExitCode Report(Console& console, const ToolError& error, const std::string& program);

/// Runs `run` and reports how it ended: a ToolError as it says; running out of memory, an OpenCV
/// error or any other exception as a failed stitch. Returns the exit code, Ok when it finished.
template <typename Run>
ExitCode RunReported(Console& console, const std::string& program, Run&& run)
{
    try {
        run();
        return ExitCode::Ok;
    } catch (const ToolError& error) {
        return Report(console, error, program);
    } catch (const std::bad_alloc&) {
        return Report(console, ToolError(ExitCode::StitchFailed, "out of memory"), program);
    } catch (const cv::Exception& exception) {
        return Report(console, ToolError(ExitCode::StitchFailed, exception.err), program);
    } catch (const std::exception& exception) {
        return Report(console, ToolError(ExitCode::StitchFailed, exception.what()), program);
    }
}

}  // namespace Cli
}  // namespace ZOLT
