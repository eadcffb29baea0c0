#include "WindowPicker.h"

#include "WindowSearch.h"

#include <ZOLT/Capture/CaptureError.h>

#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include <poll.h>

namespace ZOLT {
namespace Capture {
namespace X11 {

namespace {

/// A press and release closer than this, in pixels along both axes, is a click.
constexpr int DRAG_THRESHOLD = 5;
constexpr int OUTLINE_WIDTH = 2;
constexpr unsigned long OUTLINE_COLOUR = 0xff3030;

[[noreturn]] void FailGrab(const char* what)
{
    throw CaptureError(CaptureError::Kind::NoTarget,
                       std::string("cannot take the ") + what + " for --select: another program holds it");
}

/// The pointer and the keyboard held for the selection, with a crosshair cursor.
class InputGrab {
public:
    explicit InputGrab(Display* display) : display_(display), cursor_(XCreateFontCursor(display, XC_crosshair))
    {
        const ::Window root = DefaultRootWindow(display);
        const unsigned int events = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
        if (XGrabPointer(display, root, False, events, GrabModeAsync, GrabModeAsync, None, cursor_, CurrentTime) !=
            GrabSuccess) {
            XFreeCursor(display, cursor_);
            FailGrab("pointer");
        }
        if (XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) != GrabSuccess) {
            XUngrabPointer(display, CurrentTime);
            XFreeCursor(display, cursor_);
            FailGrab("keyboard");
        }
    }
    InputGrab(const InputGrab&) = delete;
    InputGrab& operator=(const InputGrab&) = delete;
    ~InputGrab()
    {
        XUngrabKeyboard(display_, CurrentTime);
        XUngrabPointer(display_, CurrentTime);
        XFreeCursor(display_, cursor_);
        XSync(display_, False);
    }

private:
    Display* const display_;
    const Cursor cursor_;
};

/// Four thin windows that frame the rectangle being dragged; override-redirect, so no window
/// manager decorates or moves them.
class Outline {
public:
    explicit Outline(Display* display) : display_(display)
    {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = OUTLINE_COLOUR;
        for (::Window& edge : edges_) {
            edge = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        }
    }
    Outline(const Outline&) = delete;
    Outline& operator=(const Outline&) = delete;
    ~Outline()
    {
        for (const ::Window edge : edges_) {
            XDestroyWindow(display_, edge);
        }
        XSync(display_, False);
    }

    void Show(const cv::Rect& rect)
    {
        const int w = std::max(rect.width, 1);
        const int h = std::max(rect.height, 1);
        const std::array<cv::Rect, 4> sides = {
            cv::Rect(rect.x, rect.y - OUTLINE_WIDTH, w, OUTLINE_WIDTH), cv::Rect(rect.x, rect.y + h, w, OUTLINE_WIDTH),
            cv::Rect(rect.x - OUTLINE_WIDTH, rect.y - OUTLINE_WIDTH, OUTLINE_WIDTH, h + 2 * OUTLINE_WIDTH),
            cv::Rect(rect.x + w, rect.y - OUTLINE_WIDTH, OUTLINE_WIDTH, h + 2 * OUTLINE_WIDTH)};
        for (std::size_t i = 0; i < edges_.size(); ++i) {
            XMoveResizeWindow(display_, edges_[i], sides[i].x, sides[i].y, static_cast<unsigned int>(sides[i].width),
                              static_cast<unsigned int>(sides[i].height));
            XMapRaised(display_, edges_[i]);
        }
        XFlush(display_);
    }

private:
    Display* const display_;
    std::array<::Window, 4> edges_{};
};

/// What the user did: a click or a drag between two screen points, or nothing.
struct Gesture {
    cv::Point pressed;
    cv::Point released;
};

/// Waits for the next event; false when a signal interrupted the wait.
bool NextEvent(Display* display, XEvent& event)
{
    while (XPending(display) == 0) {
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (::poll(&connection, 1, -1) < 0 && errno == EINTR) {
            return false;
        }
    }
    XNextEvent(display, &event);
    return true;
}

cv::Rect Spanned(const cv::Point& a, const cv::Point& b)
{
    return cv::Rect(cv::Point(std::min(a.x, b.x), std::min(a.y, b.y)),
                    cv::Point(std::max(a.x, b.x), std::max(a.y, b.y)));
}

std::optional<Gesture> WatchGesture(Display* display)
{
    const InputGrab grab(display);
    Outline outline(display);
    const KeyCode escape = XKeysymToKeycode(display, XK_Escape);
    std::optional<cv::Point> pressed;
    XEvent event{};
    while (NextEvent(display, event)) {
        if (event.type == KeyPress && event.xkey.keycode == escape) {
            return std::nullopt;
        }
        if (event.type == ButtonPress && event.xbutton.button == Button1) {
            pressed = cv::Point(event.xbutton.x_root, event.xbutton.y_root);
        } else if (event.type == MotionNotify && pressed) {
            const cv::Point at(event.xmotion.x_root, event.xmotion.y_root);
            if (std::abs(at.x - pressed->x) >= DRAG_THRESHOLD || std::abs(at.y - pressed->y) >= DRAG_THRESHOLD) {
                outline.Show(Spanned(*pressed, at));
            }
        } else if (event.type == ButtonRelease && event.xbutton.button == Button1 && pressed) {
            return Gesture{*pressed, cv::Point(event.xbutton.x_root, event.xbutton.y_root)};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Target> PickTarget(const X11Connection& connection)
{
    const std::optional<Gesture> gesture = WatchGesture(connection.Get());
    if (!gesture) {
        return std::nullopt;
    }
    const cv::Point moved = gesture->released - gesture->pressed;
    const bool click = std::abs(moved.x) < DRAG_THRESHOLD && std::abs(moved.y) < DRAG_THRESHOLD;
    const cv::Rect dragged = Spanned(gesture->pressed, gesture->released);
    const cv::Point centre = click ? gesture->pressed : (dragged.tl() + dragged.br()) / 2;
    ::Window window = WindowAt(connection, centre);
    if (window == None) {
        window = connection.Root();
    }
    const cv::Rect onScreen = ScreenRect(connection, window);
    const cv::Rect region = click ? cv::Rect(cv::Point(), onScreen.size()) : (dragged & onScreen) - onScreen.tl();
    if (onScreen.empty() || region.empty()) {
        throw CaptureError(CaptureError::Kind::NoTarget, "the selected window closed before the capture");
    }
    const std::string title = WindowTitle(connection, window);
    return Target{window, region, title.empty() ? std::string("the selected area") : title};
}

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
