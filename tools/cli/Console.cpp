#include "Console.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace ZOLT {
namespace Cli {

namespace {

constexpr int BAR_WIDTH = 30;

}  // namespace

Console::Console(const std::string& program, std::ostream& errors, std::ostream& summary, ProgressStyle style)
    : prefix_(program + ": "),
      errors_(errors),
      summary_(summary),
      style_(style),
      start_(std::chrono::steady_clock::now())
{
}

Console::ProgressStyle Console::StyleForStandardError(bool quiet)
{
    if (quiet) {
        return ProgressStyle::Silent;
    }
    return ::isatty(STDERR_FILENO) != 0 ? ProgressStyle::Bar : ProgressStyle::Lines;
}

void Console::Progress(const std::string& stage, int percent)
{
    if (style_ == ProgressStyle::Silent) {
        return;
    }
    percent = std::clamp(percent, 0, 100);
    const long seconds = ElapsedSeconds();
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool newStage = stage != stage_;
    if (style_ == ProgressStyle::Bar) {
        // Redraw only on a visible change: worker threads may report the same position often.
        if (newStage || percent != percent_ || seconds != seconds_) {
            DrawBarLocked(stage, percent, seconds);
        }
    } else if (newStage || percent / 10 > percent_ / 10) {
        WriteLineLocked(stage, percent, seconds);
    }
    stage_ = stage;
    percent_ = percent;
    seconds_ = seconds;
}

void Console::EndProgress()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearBarLocked();
    stage_.clear();
    percent_ = -1;
}

void Console::Warning(const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearBarLocked();
    errors_ << prefix_ << "warning: " << text << std::endl;
}

void Console::Error(const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearBarLocked();
    errors_ << prefix_ << "error: " << text << std::endl;
}

void Console::Notice(const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearBarLocked();
    errors_ << prefix_ << text << std::endl;
}

void Console::Summary(const std::string& text)
{
    if (style_ == ProgressStyle::Silent) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearBarLocked();
    summary_ << text << std::endl;
}

void Console::ClearBarLocked()
{
    if (barLength_ == 0) {
        return;
    }
    errors_ << '\r' << std::string(barLength_, ' ') << '\r' << std::flush;
    barLength_ = 0;
    // The bar is gone: the next report draws it afresh.
    percent_ = -1;
}

void Console::DrawBarLocked(const std::string& stage, int percent, long seconds)
{
    const int filled = percent * BAR_WIDTH / 100;
    std::ostringstream line;
    line << stage << " [" << std::string(filled, '#') << std::string(BAR_WIDTH - filled, '.') << "] " << percent
         << "%  " << FormatElapsed(seconds);
    const std::string text = line.str();
    // Pad over the remains of a longer previous line.
    const std::size_t padding = barLength_ > text.size() ? barLength_ - text.size() : 0;
    errors_ << '\r' << text << std::string(padding, ' ') << std::flush;
    barLength_ = text.size() + padding;
}

void Console::WriteLineLocked(const std::string& stage, int percent, long seconds)
{
    errors_ << prefix_ << stage << ": " << percent << "% (" << FormatElapsed(seconds) << ")" << std::endl;
}

long Console::ElapsedSeconds() const
{
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

std::string FormatElapsed(long seconds)
{
    std::ostringstream text;
    text << seconds / 60 << ':' << (seconds % 60 < 10 ? "0" : "") << seconds % 60;
    return text.str();
}

ExitCode Report(Console& console, const ToolError& error, const std::string& program)
{
    if (error.Code() == ExitCode::Cancelled) {
        console.Notice(error.what());
    } else {
        console.Error(error.what());
    }
    if (error.Code() == ExitCode::Usage) {
        std::cerr << "Try '" << program << " --help'." << std::endl;
    }
    return error.Code();
}

}  // namespace Cli
}  // namespace ZOLT
