#pragma once

// The failures of the X11 layer, each with a kind the host can map to its own exit codes.

#include <stdexcept>
#include <string>

namespace ZOLT {
namespace X11 {

class X11Error : public std::runtime_error {
public:
    enum class Kind {
        /// No X server could be reached (DISPLAY unset or wrong, server gone).
        NoDisplay,
        /// The server lacks the XTest extension, so no wheel events can be sent.
        NoXTest,
        /// No window matches what was asked for.
        NoWindow,
        /// The window was destroyed or unmapped while it was being captured.
        WindowGone,
        /// The window is there but its pixels cannot be read as a capture.
        Unreadable,
    };

    X11Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind GetKind() const { return kind_; }

private:
    Kind kind_;
};

}  // namespace X11
}  // namespace ZOLT
