#pragma once

// What a platform must offer for scrolling capture: find or pick what to capture, grab its
// pixels, send it scroll input, know the pointer. Everything above this line (the capture loop,
// settling, stopping, stitching) is shared by every backend.

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ZOLT {
namespace Capture {

/// The axis content scrolls along.
enum class Axis { Rows, Columns };

/// What is captured: a window (or an output, where windows cannot be told apart) and the part of
/// it that the captures show. The id is the backend's own and means nothing elsewhere.
struct Target {
    std::uint64_t id = 0;
    /// In the target's pixels; never empty once a backend has handed the target out.
    cv::Rect region;
    /// For messages: a window's title, an output's name.
    std::string description;
};

/// How the user named the target on the command line; neither field: the window under the pointer.
struct TargetQuery {
    /// A window id as the platform's own tools show it; 0 when not given.
    std::uint64_t id = 0;
    /// Part of a window title; empty when not given.
    std::string title;
    /// Part of the target to capture, in its pixels; empty for all of it.
    cv::Rect region;
};

/// One step of scroll input: `clicks` wheel clicks along `axis`, towards the content's end
/// (down, right) or its start (up, left).
struct ScrollStep {
    Axis axis = Axis::Rows;
    bool towardStart = false;
    int clicks = 1;
};

/// What a backend can do, so that modes ask for a capability rather than a backend's name.
enum Capability : unsigned {
    CanFindWindows = 1u << 0,
    CanPick = 1u << 1,
    CanScroll = 1u << 2,
    CanReadPointer = 1u << 3,
};

class ICaptureBackend {
public:
    virtual ~ICaptureBackend() = default;

    /// Short name for messages and --backend: "x11", "wayland".
    virtual std::string Name() const = 0;
    /// A mask of Capability values.
    virtual unsigned Capabilities() const = 0;

    /// The target `query` names. Throws CaptureError (no target).
    virtual Target Find(const TargetQuery& query) = 0;
    /// Lets the user click a window or drag a rectangle, with visible feedback; nothing when the
    /// user cancelled (Escape) or a signal (Ctrl-C) interrupted the wait: the host tells the two
    /// apart by its own signal count. Throws CaptureError.
    virtual std::optional<Target> Pick() = 0;
    /// The target's region now: 8-bit red, green, blue, alpha, alpha 255. Throws CaptureError
    /// (target gone, unreadable).
    virtual cv::Mat Grab(const Target& target) = 0;
    /// Sends `step` to the middle of the target's region. Throws CaptureError (target gone).
    virtual void Scroll(const Target& target, const ScrollStep& step) = 0;
    /// Where the pointer is, in the target's pixels. Throws CaptureError (target gone).
    virtual cv::Point PointerPosition(const Target& target) = 0;
};

}  // namespace Capture
}  // namespace ZOLT
