#include "ConsoleListener.h"

#include "Cancellation.h"

#include <algorithm>

namespace ZOLT {
namespace Cli {

namespace {

const char* const STAGE = "Stitching";

std::string WeakCorrelationText(std::size_t count, std::size_t pairs, double minimumPeak)
{
    std::string text = std::to_string(count) + " of " + std::to_string(pairs) +
                       " capture pairs matched only weakly (correlation peak below --min-peak ";
    std::string peak = std::to_string(minimumPeak);
    peak.erase(peak.find_last_not_of('0') + 1);
    if (!peak.empty() && peak.back() == '.') {
        peak.pop_back();
    }
    return text + peak +
           "): their movement may be misread and the seams there misplaced; check them, or try "
           "--direction vertical or --direction horizontal";
}

}  // namespace

ConsoleListener::ConsoleListener(Console& console, const Stitching::StitcherParameters& parameters, std::size_t pairs)
    : console_(console), parameters_(parameters), pairs_(pairs)
{
}

bool ConsoleListener::OnProgress(int position)
{
    console_.Progress(STAGE, position);
    return !CancelRequested();
}

void ConsoleListener::OnComplete(bool)
{
    // Stitch's own answer carries the outcome; the tool reports it once, after the call.
}

bool ConsoleListener::OnError(StitcherErrorCodes code, bool recoverable)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = code;
    if (recoverable && code == BorderApplicationFailed) {
        bordersDropped_ = true;
        return true;
    }
    return false;
}

void ConsoleListener::OnWarning(StitcherWarningCodes code)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ++warnings_[code];
}

Stitching::IStitcherListener::StitcherErrorCodes ConsoleListener::LastError() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

std::vector<std::string> ConsoleListener::WarningTexts() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    const auto count = [this](StitcherWarningCodes code) {
        const auto found = warnings_.find(code);
        return found == warnings_.end() ? std::size_t{0} : found->second;
    };
    if (const std::size_t weak = count(WeakCorrelation)) {
        texts.push_back(WeakCorrelationText(std::min(weak, pairs_), pairs_, parameters_.minimumPeakValue));
    }
    if (count(TooManyZeroTranslations) > 0) {
        texts.push_back("more than " + std::to_string(parameters_.maxZeroTranslationsPercent) +
                        "% of the captures did not move against the one before them (--max-zero-percent): "
                        "they add nothing to the result, or their movement was not recognised");
    }
    if (count(TooManyConsecutiveZeroTranslations) > 0) {
        texts.push_back("more than " + std::to_string(parameters_.maxConsecutiveZeroTranslations) +
                        " captures in a row did not move (--max-zero-run): if the window did scroll there, "
                        "that part is missing from the result");
    }
    if (count(DiagonalTranslation) > 0) {
        texts.push_back(
            "some captures moved both across and down: if the window scrolled one way only, a "
            "movement was misread and the result shows a step there; --direction vertical or "
            "--direction horizontal rules that out");
    }
    if (bordersDropped_) {
        texts.push_back(
            "the borders common to all captures were found but could not be put back: the result "
            "shows the stitched content without them");
    }
    return texts;
}

std::string DescribeFailure(Stitching::IStitcherListener::StitcherErrorCodes code)
{
    switch (code) {
    case Stitching::IStitcherListener::NoImages:
        return "there were no captures to stitch";
    case Stitching::IStitcherListener::ResultSizingFailed:
        return "no movement between the captures could be measured, so the result could not be sized";
    case Stitching::IStitcherListener::Cancelled:
        return "the stitch was cancelled";
    case Stitching::IStitcherListener::BorderApplicationFailed:
        return "the borders common to all captures could not be put back";
    default:
        return "the library could not join the captures (its own messages above say where it stopped)";
    }
}

}  // namespace Cli
}  // namespace ZOLT
