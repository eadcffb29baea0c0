#pragma once

// The watching loop: the user scrolls (wheel, keys, scrollbar, touchpad) and the loop keeps a
// capture whenever the content moved, settled and shows something not captured yet.

#include <ZOLT/Capture/CaptureLoop.h>
#include <ZOLT/Capture/Clock.h>

#include <cstddef>

namespace ZOLT {
namespace Capture {

struct WatchPlan {
    Axis axis = Axis::Rows;
    std::size_t maxCaptures = 300;
    /// End when nothing changed on the screen this long; 0 never.
    std::chrono::milliseconds idle{10000};
    SettlePolicy settle;
};

/// Runs the loop. It follows the content through every grab that changed, so its position
/// stays known while the user scrolls fast, and keeps a settled grab only when its view
/// reaches beyond every capture kept so far (positions are those of LoopHost::capture, so a
/// host can put captures taken on the way back up in page order). Content that runs on without
/// settling (a fling, inertia) leaves a capture at least every half view, taken on the move. A target that never
/// settles for the first capture ends the loop (Unsettled); later ones are only waited for again. Throws CaptureError
/// when the target goes away or cannot be read, and what the host's functions throw.
CaptureEnd RunWatchLoop(ICaptureBackend& backend, const Target& target, const WatchPlan& plan, Clock& clock,
                        const LoopHost& host);

}  // namespace Capture
}  // namespace ZOLT
