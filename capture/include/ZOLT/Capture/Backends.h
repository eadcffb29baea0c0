#pragma once

// The backends this build has, and opening one by name or as the session suggests.

#include <ZOLT/Capture/Backend.h>

#include <memory>
#include <string>
#include <vector>

namespace ZOLT {
namespace Capture {

/// What tells one kind of desktop session from another: the variables of that name.
struct SessionEnvironment {
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string sessionType;     // XDG_SESSION_TYPE
    std::string x11Display;      // DISPLAY

    /// The process's own environment.
    static SessionEnvironment FromProcess();
};

/// The names of the backends built in, in the order ChooseBackend prefers them.
std::vector<std::string> AvailableBackends();

/// The backend for `session`: the Wayland one in a Wayland session (XDG_SESSION_TYPE "wayland",
/// or WAYLAND_DISPLAY set without XDG_SESSION_TYPE saying otherwise), else the X11 one; a session
/// whose own backend is not built falls back to the other (X11 through XWayland). Empty when no
/// backend is built.
std::string ChooseBackend(const SessionEnvironment& session);

/// Connects backend `name`, one of AvailableBackends(). Throws std::invalid_argument for any
/// other name, CaptureError when the backend cannot connect (no display, missing protocol).
std::unique_ptr<ICaptureBackend> OpenBackend(const std::string& name);

}  // namespace Capture
}  // namespace ZOLT
