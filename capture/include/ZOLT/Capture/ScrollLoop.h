#pragma once

// The automatic capture loop: the tool scrolls. Grab, scroll, wait for the target to settle,
// grab again, until the content stops moving.

#include <ZOLT/Capture/CaptureLoop.h>
#include <ZOLT/Capture/Clock.h>

#include <cstddef>

namespace ZOLT {
namespace Capture {

struct ScrollPlan {
    Axis axis = Axis::Rows;
    /// Capture towards the content's start (up, left) instead of its end.
    bool towardStart = false;
    /// First scroll the other way until the content no longer moves, so that the capture starts
    /// at the content's start (its end when capturing towards the start).
    bool fromStart = false;
    /// Wheel clicks per step; 0 chooses them after the first step, which takes one click, so
    /// that a step covers about half of the area that scrolls.
    int clicks = 0;
    std::size_t maxCaptures = 300;
    SettlePolicy settle;
};

/// Runs the loop: the first capture is taken before any scrolling (after the rewind of
/// `fromStart`). A settled grab that differs from the last capture but did not move (a hover, a
/// late repaint) counts as a still step. Throws CaptureError when the target goes away or
/// cannot be read, and what the host's functions throw.
CaptureEnd RunScrollLoop(ICaptureBackend& backend, const Target& target, const ScrollPlan& plan, Clock& clock,
                         const LoopHost& host);

/// Wheel clicks per step that move the view about half of `scrollingLength`, at most 55 % of
/// it, at least one: for a view that moved `pixelsPerClick` per click.
int ChooseClicks(double pixelsPerClick, int scrollingLength);

}  // namespace Capture
}  // namespace ZOLT
