#pragma once

// The listener that the tool hands to the library: progress to the console, stop requests back
// to the library, errors and warnings kept for plain-words reports after the stitch.

#include "Console.h"

#include <ZOLT/Core.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ZOLT {
namespace Cli {

/// OnProgress arrives on detection worker threads and OnWarning from several of them at once,
/// so everything the listener keeps is guarded by its own mutex.
class ConsoleListener : public Stitching::IStitcherListener {
public:
    /// `parameters` supply the limits the warnings name; `pairs` is the number of capture pairs.
    ConsoleListener(Console& console, const Stitching::StitcherParameters& parameters, std::size_t pairs);

    /// Shows the position as the stitch's percentage; answers false once a stop was requested.
    bool OnProgress(int position) override;
    void OnComplete(bool success) override;
    /// Records the error. A recoverable one (borders found but not put back) is accepted: the
    /// result without its borders is still worth having, and a warning says so.
    bool OnError(StitcherErrorCodes code, bool recoverable) override;
    void OnWarning(StitcherWarningCodes code) override;

    /// The last error reported, NoError when none was.
    StitcherErrorCodes LastError() const;
    /// What each warning reported so far means for the result, one text per kind of warning,
    /// in a fixed order.
    std::vector<std::string> WarningTexts() const;

private:
    Console& console_;
    const Stitching::StitcherParameters parameters_;
    const std::size_t pairs_;
    mutable std::mutex mutex_;
    StitcherErrorCodes lastError_ = NoError;
    bool bordersDropped_ = false;
    std::map<StitcherWarningCodes, std::size_t> warnings_;
};

/// Why a stitch failed, in plain words, from the last error the library reported.
std::string DescribeFailure(Stitching::IStitcherListener::StitcherErrorCodes code);

}  // namespace Cli
}  // namespace ZOLT
