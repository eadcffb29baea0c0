#include "WindowSearch.h"

#include "X11Window.h"

#include <ZOLT/Capture/CaptureError.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <memory>
#include <vector>

namespace ZOLT {
namespace Capture {
namespace X11 {

namespace {

struct XFreeDeleter {
    void operator()(void* data) const
    {
        if (data != nullptr) {
            XFree(data);
        }
    }
};

template <typename T>
using XPointer = std::unique_ptr<T, XFreeDeleter>;

[[noreturn]] void FailNoWindow(const std::string& message)
{
    throw CaptureError(CaptureError::Kind::NoTarget, message);
}

bool IsShown(Display* display, ::Window window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

/// The children of `window`, top-most first (the server lists them bottom-most first).
std::vector<::Window> ChildrenTopFirst(Display* display, ::Window window)
{
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* list = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &list, &count) == 0) {
        return {};
    }
    const XPointer<::Window> owner(list);
    return std::vector<::Window>(std::make_reverse_iterator(list + count), std::make_reverse_iterator(list));
}

std::string TextProperty(Display* display, ::Window window, Atom property, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format, &items,
                                          &remaining, &data);
    const XPointer<unsigned char> owner(data);
    if (status != Success || data == nullptr || actualType != type || format != 8) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(data), items);
}

bool HasWindowManagerState(Display* display, ::Window window)
{
    const Atom state = XInternAtom(display, "WM_STATE", True);
    if (state == None) {
        return false;
    }
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, state, 0, 0, False, AnyPropertyType, &actualType, &format, &items, &remaining,
                       &data);
    const XPointer<unsigned char> owner(data);
    return actualType != None;
}

/// Depth first, top-most first: the first shown window for which `matches` holds.
template <typename Predicate>
::Window FindShown(Display* display, ::Window window, const Predicate& matches)
{
    for (const ::Window child : ChildrenTopFirst(display, window)) {
        if (!IsShown(display, child)) {
            continue;
        }
        if (matches(child)) {
            return child;
        }
        if (const ::Window found = FindShown(display, child, matches); found != None) {
            return found;
        }
    }
    return None;
}

}  // namespace

::Window CheckWindow(const X11Connection& connection, ::Window window)
{
    if (!IsShown(connection.Get(), window)) {
        FailNoWindow("no shown window has the id " + std::to_string(window));
    }
    return window;
}

::Window FindWindowByTitle(const X11Connection& connection, const std::string& text)
{
    Display* const display = connection.Get();
    const ::Window found = FindShown(display, connection.Root(), [&](::Window window) {
        return WindowTitle(connection, window).find(text) != std::string::npos;
    });
    if (found == None) {
        FailNoWindow("no shown window has a title containing '" + text + "'");
    }
    return found;
}

::Window WindowAt(const X11Connection& connection, const cv::Point& point)
{
    Display* const display = connection.Get();
    int x = 0;
    int y = 0;
    ::Window child = None;
    XTranslateCoordinates(display, connection.Root(), connection.Root(), point.x, point.y, &x, &y, &child);
    if (child == None) {
        return None;
    }
    // A window manager frames the application's window; the application's own one carries
    // WM_STATE. Without a window manager the top-level window is the application's.
    if (HasWindowManagerState(display, child)) {
        return child;
    }
    const ::Window client =
        FindShown(display, child, [&](::Window window) { return HasWindowManagerState(display, window); });
    return client != None ? client : child;
}

::Window WindowUnderPointer(const X11Connection& connection)
{
    const ::Window window = WindowAt(connection, PointerIn(connection.Get(), connection.Root()));
    if (window == None) {
        FailNoWindow("the pointer is not over a window; name one with --window or --window-name, or --select it");
    }
    return window;
}

cv::Rect ScreenRect(const X11Connection& connection, ::Window window)
{
    XWindowAttributes attributes{};
    int x = 0;
    int y = 0;
    ::Window child = None;
    if (XGetWindowAttributes(connection.Get(), window, &attributes) == 0 ||
        XTranslateCoordinates(connection.Get(), window, connection.Root(), 0, 0, &x, &y, &child) == 0) {
        return cv::Rect();
    }
    return cv::Rect(x, y, attributes.width, attributes.height);
}

std::string WindowTitle(const X11Connection& connection, ::Window window)
{
    Display* const display = connection.Get();
    const std::string title = TextProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                                           XInternAtom(display, "UTF8_STRING", False));
    return title.empty() ? TextProperty(display, window, XA_WM_NAME, XA_STRING) : title;
}

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
