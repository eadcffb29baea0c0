#pragma once

// The listener reports every stitcher makes the same way; a missing listener is always allowed.

#include <ZOLT/Core.h>

namespace ZOLT {
namespace Stitching {

/// OnProgress(position); without a listener the work goes on as if it had answered true.
inline bool ReportProgress(IStitcherListener* listener, int position)
{
    return listener == nullptr || listener->OnProgress(position);
}

/// OnError(code), not recoverable; the answer does not matter for such an error.
inline void ReportError(IStitcherListener* listener, IStitcherListener::StitcherErrorCodes code)
{
    if (listener != nullptr) {
        listener->OnError(code, false);
    }
}

/// OnComplete(success) as the last call when the caller asked for it; returns `success`.
inline bool ReportCompletion(IStitcherListener* listener, bool reportCompletion, bool success)
{
    if (listener != nullptr && reportCompletion) {
        listener->OnComplete(success);
    }
    return success;
}

/// The reports of a stitch of one capture, which is its own result: the end of the range, a
/// cancel when that report is refused, and the completion.
inline bool ReportSingleCapture(IStitcherListener* listener, int progressEnd, bool reportCompletion)
{
    const bool answer = ReportProgress(listener, progressEnd);
    if (!answer) {
        ReportError(listener, IStitcherListener::Cancelled);
    }
    return ReportCompletion(listener, reportCompletion, answer);
}

}  // namespace Stitching
}  // namespace ZOLT
