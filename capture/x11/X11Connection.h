#pragma once

// One connection to the X server, with the XTest extension the wheel events need.

#include <X11/Xlib.h>

#include <string>

namespace ZOLT {
namespace Capture {
namespace X11 {

class X11Connection {
public:
    /// Opens `displayName`, or $DISPLAY when it is empty. Throws CaptureError (no display, missing XTest).
    explicit X11Connection(const std::string& displayName = std::string());
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;
    ~X11Connection();

    Display* Get() const { return display_; }
    ::Window Root() const;

private:
    Display* display_ = nullptr;
    XErrorHandler previousHandler_ = nullptr;
};

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
