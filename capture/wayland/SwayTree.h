#pragma once

// sway's IPC, the one compositor-specific part of the backend: the i3-ipc protocol on the
// socket that $SWAYSOCK names, asked for the window tree.

#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ZOLT {
namespace Capture {
namespace Wayland {

/// An application window as sway lays it out.
struct SwayWindow {
    /// sway's container id, as `swaymsg -t get_tree` shows it.
    std::uint64_t id = 0;
    std::string title;
    /// The window's content (without sway's borders and title bar), in layout coordinates.
    cv::Rect area;
    /// On a workspace that is shown now.
    bool visible = false;
    bool focused = false;
    /// The output it lies on: its name and its area in layout coordinates.
    std::string outputName;
    cv::Rect outputArea;
};

class SwayTree {
public:
    /// A connection to the socket `socketPath`. Throws CaptureError (no display) when it cannot
    /// be reached.
    explicit SwayTree(const std::string& socketPath);
    SwayTree(const SwayTree&) = delete;
    SwayTree& operator=(const SwayTree&) = delete;
    ~SwayTree();

    /// The socket $SWAYSOCK names; nothing when it is not set.
    static std::optional<std::string> SocketFromEnvironment();

    /// Every application window, in the tree's order (tiled before floating, per workspace).
    /// Throws CaptureError (no display) when sway does not answer.
    std::vector<SwayWindow> Windows() const;

private:
    /// Sends one message of `type` and returns the reply's payload.
    std::string Request(std::uint32_t type, const std::string& payload) const;
    void Send(const std::string& bytes) const;
    std::string Receive(std::size_t length) const;

    int socket_ = -1;
};

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
