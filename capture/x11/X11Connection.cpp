#include "X11Connection.h"

#include <ZOLT/Capture/CaptureError.h>

#include <X11/extensions/XTest.h>

namespace ZOLT {
namespace Capture {
namespace X11 {

namespace {

// Xlib's default handler ends the process on any error, and a window that closes mid-capture
// raises one. Every request whose failure matters is synchronous and checked by its return
// value instead, so the error events themselves carry nothing the callers need.
extern "C" int IgnoreError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

X11Connection::X11Connection(const std::string& displayName)
{
    display_ = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display_ == nullptr) {
        const char* const name = displayName.empty() ? XDisplayName(nullptr) : displayName.c_str();
        const bool named = name != nullptr && *name != '\0';
        const std::string which = named ? std::string(" '") + name + "'" : std::string(" (DISPLAY is not set)");
        throw CaptureError(CaptureError::Kind::NoDisplay, "cannot open the X display" + which +
                                                              "; run it in an X11 session (on Wayland, on an XWayland "
                                                              "window) or set DISPLAY");
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display_);
        throw CaptureError(CaptureError::Kind::MissingProtocol,
                           "the X server has no XTest extension, so no wheel events can be sent to the window");
    }
    previousHandler_ = XSetErrorHandler(IgnoreError);
}

X11Connection::~X11Connection()
{
    XSetErrorHandler(previousHandler_);
    XCloseDisplay(display_);
}

::Window X11Connection::Root() const
{
    return DefaultRootWindow(display_);
}

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
