#pragma once

// The one failure of capture backends, with a kind the tools map to their exit codes.

#include <stdexcept>
#include <string>

namespace ZOLT {
namespace Capture {

class CaptureError : public std::runtime_error {
public:
    enum class Kind {
        /// No display or compositor could be reached.
        NoDisplay,
        /// The display lacks what capture needs (an extension, a protocol); the message names it.
        MissingProtocol,
        /// Nothing matches what was asked for (no window, a region outside it).
        NoTarget,
        /// The target was closed or hidden during the capture.
        TargetGone,
        /// The target is there but its pixels cannot be read.
        Unreadable,
    };

    CaptureError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind GetKind() const { return kind_; }

private:
    Kind kind_;
};

}  // namespace Capture
}  // namespace ZOLT
