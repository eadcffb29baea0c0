#include "X11Window.h"

#include <ZOLT/Capture/CaptureError.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <string>

namespace ZOLT {
namespace Capture {
namespace X11 {

namespace {

struct XImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

/// Whether the image is 24-bit true colour stored as blue, green, red, unused in memory.
bool IsBgrx(const XImage& image)
{
    const bool bgrxMasks = image.red_mask == 0xff0000 && image.green_mask == 0xff00 && image.blue_mask == 0xff;
    return image.bits_per_pixel == 32 && image.depth >= 24 && bgrxMasks && image.byte_order == LSBFirst;
}

cv::Mat ToCapture(const XImage& image)
{
    const cv::Mat bgrx(image.height, image.width, CV_8UC4, image.data, static_cast<std::size_t>(image.bytes_per_line));
    // The fourth byte is undefined in a 24-bit window: every capture pixel is opaque.
    cv::Mat capture(bgrx.size(), CV_8UC4, cv::Scalar(0, 0, 0, 255));
    const int fromTo[] = {0, 2, 1, 1, 2, 0};
    cv::mixChannels(&bgrx, 1, &capture, 1, fromTo, 3);
    return capture;
}

}  // namespace

cv::Size X11Window::CheckShown() const
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, window_, &attributes) == 0) {
        throw CaptureError(CaptureError::Kind::TargetGone, "the window was closed");
    }
    if (attributes.map_state != IsViewable) {
        throw CaptureError(CaptureError::Kind::TargetGone, "the window was hidden (unmapped)");
    }
    return cv::Size(attributes.width, attributes.height);
}

cv::Mat X11Window::Grab(const cv::Rect& region) const
{
    const std::unique_ptr<XImage, XImageDeleter> image(
        XGetImage(display_, window_, region.x, region.y, static_cast<unsigned int>(region.width),
                  static_cast<unsigned int>(region.height), AllPlanes, ZPixmap));
    if (!image) {
        CheckShown();
        throw CaptureError(CaptureError::Kind::Unreadable,
                           "cannot read the window's pixels; is it partly off the screen, or was it resized?");
    }
    if (!IsBgrx(*image)) {
        throw CaptureError(CaptureError::Kind::Unreadable, "the window's pixel format (depth " +
                                                               std::to_string(image->depth) +
                                                               ") is not supported; only 24-bit true colour is");
    }
    return ToCapture(*image);
}

void X11Window::Click(const cv::Point& point, unsigned int button, int clicks) const
{
    CheckShown();
    const ::Window root = DefaultRootWindow(display_);
    const cv::Point userPointer = PointerIn(display_, root);
    ::Window ignored = None;
    int rootX = 0;
    int rootY = 0;
    XTranslateCoordinates(display_, window_, root, point.x, point.y, &rootX, &rootY, &ignored);
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    for (int click = 0; click < clicks; ++click) {
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
    }
    // The pointer goes back where the user left it: resting over the content it would hover
    // links and buttons, whose highlights and tooltips would then change the captures.
    XTestFakeMotionEvent(display_, -1, userPointer.x, userPointer.y, CurrentTime);
    // Wait until the server has the events, so the settle time starts after them.
    XSync(display_, False);
}

cv::Point X11Window::Pointer() const
{
    CheckShown();
    return PointerIn(display_, window_);
}

cv::Point PointerIn(Display* display, ::Window window)
{
    ::Window root = None;
    ::Window child = None;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned int buttons = 0;
    XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &buttons);
    return cv::Point(x, y);
}

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
