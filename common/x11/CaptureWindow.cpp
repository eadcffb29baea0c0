#include "CaptureWindow.h"

#include "X11Error.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <string>

namespace ZOLT {
namespace X11 {

namespace {

// The wheel is buttons 4 (up) and 5 (down), and 6 (left) and 7 (right) for sideways scrolling.
constexpr unsigned int WHEEL_DOWN = 5;
constexpr unsigned int WHEEL_RIGHT = 7;

struct XImageDeleter {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

std::string SizeText(const cv::Size& size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

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

CaptureWindow::CaptureWindow(const X11Connection& connection, ::Window window, const cv::Rect& region)
    : display_(connection.Get()), window_(window), region_(region)
{
    const cv::Size size = CheckShown();
    if (region_.empty()) {
        region_ = cv::Rect(cv::Point(), size);
    } else if ((region_ & cv::Rect(cv::Point(), size)) != region_) {
        throw X11Error(X11Error::Kind::NoWindow, "the region does not lie inside the window (" + SizeText(size) + ")");
    }
}

cv::Size CaptureWindow::CheckShown() const
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, window_, &attributes) == 0) {
        throw X11Error(X11Error::Kind::WindowGone, "the window was closed");
    }
    if (attributes.map_state != IsViewable) {
        throw X11Error(X11Error::Kind::WindowGone, "the window was hidden (unmapped)");
    }
    return cv::Size(attributes.width, attributes.height);
}

cv::Mat CaptureWindow::Grab() const
{
    const std::unique_ptr<XImage, XImageDeleter> image(XGetImage(display_, window_, region_.x, region_.y,
                                                                 static_cast<unsigned int>(region_.width),
                                                                 static_cast<unsigned int>(region_.height),
                                                                 AllPlanes, ZPixmap));
    if (!image) {
        CheckShown();
        throw X11Error(X11Error::Kind::Unreadable,
                       "cannot read the window's pixels; is it partly off the screen, or was it resized?");
    }
    if (!IsBgrx(*image)) {
        throw X11Error(X11Error::Kind::Unreadable, "the window's pixel format (depth " + std::to_string(image->depth) +
                                                       ") is not supported; only 24-bit true colour is");
    }
    return ToCapture(*image);
}

void CaptureWindow::ScrollWheel(int clicks, bool horizontal) const
{
    CheckShown();
    const cv::Point middle = region_.tl() + cv::Point(region_.width / 2, region_.height / 2);
    int rootX = 0;
    int rootY = 0;
    ::Window child = None;
    const ::Window root = DefaultRootWindow(display_);
    XTranslateCoordinates(display_, window_, root, middle.x, middle.y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    const unsigned int button = horizontal ? WHEEL_RIGHT : WHEEL_DOWN;
    for (int click = 0; click < clicks; ++click) {
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
    }
    // Wait until the server has the events, so the settle time starts after them.
    XSync(display_, False);
}

}  // namespace X11
}  // namespace ZOLT
