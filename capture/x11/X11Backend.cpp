#include "X11Backend.h"

#include "WindowPicker.h"
#include "WindowSearch.h"
#include "X11Connection.h"
#include "X11Window.h"

#include <ZOLT/Capture/CaptureError.h>

namespace ZOLT {
namespace Capture {
namespace X11 {

namespace {

// The wheel is buttons 4 (up) and 5 (down), and 6 (left) and 7 (right) for sideways scrolling.
constexpr unsigned int WHEEL_UP = 4;
constexpr unsigned int WHEEL_DOWN = 5;
constexpr unsigned int WHEEL_LEFT = 6;
constexpr unsigned int WHEEL_RIGHT = 7;

unsigned int WheelButton(const ScrollStep& step)
{
    if (step.axis == Axis::Rows) {
        return step.towardStart ? WHEEL_UP : WHEEL_DOWN;
    }
    return step.towardStart ? WHEEL_LEFT : WHEEL_RIGHT;
}

std::string SizeText(const cv::Size& size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

class X11Backend final : public ICaptureBackend {
public:
    std::string Name() const override { return "x11"; }
    unsigned Capabilities() const override { return CanFindWindows | CanPick | CanScroll | CanReadPointer; }

    Target Find(const TargetQuery& query) override;
    std::optional<Target> Pick() override;
    cv::Mat Grab(const Target& target) override;
    void Scroll(const Target& target, const ScrollStep& step) override;
    cv::Point PointerPosition(const Target& target) override;

private:
    X11Window Window(const Target& target) const
    {
        return X11Window(connection_.Get(), static_cast<::Window>(target.id));
    }
    ::Window FindWindow(const TargetQuery& query) const;

    const X11Connection connection_;
};

::Window X11Backend::FindWindow(const TargetQuery& query) const
{
    if (query.id != 0) {
        return CheckWindow(connection_, static_cast<::Window>(query.id));
    }
    if (!query.title.empty()) {
        return FindWindowByTitle(connection_, query.title);
    }
    return WindowUnderPointer(connection_);
}

Target X11Backend::Find(const TargetQuery& query)
{
    const ::Window window = FindWindow(query);
    const cv::Size size = X11Window(connection_.Get(), window).CheckShown();
    const cv::Rect whole(cv::Point(), size);
    if (!query.region.empty() && (query.region & whole) != query.region) {
        throw CaptureError(CaptureError::Kind::NoTarget,
                           "the region does not lie inside the window (" + SizeText(size) + ")");
    }
    return Target{window, query.region.empty() ? whole : query.region, WindowTitle(connection_, window)};
}

std::optional<Target> X11Backend::Pick()
{
    return PickTarget(connection_);
}

cv::Mat X11Backend::Grab(const Target& target)
{
    return Window(target).Grab(target.region);
}

void X11Backend::Scroll(const Target& target, const ScrollStep& step)
{
    const cv::Point middle = target.region.tl() + cv::Point(target.region.width / 2, target.region.height / 2);
    Window(target).Click(middle, WheelButton(step), step.clicks);
}

cv::Point X11Backend::PointerPosition(const Target& target)
{
    return Window(target).Pointer();
}

}  // namespace

std::unique_ptr<ICaptureBackend> OpenBackend()
{
    return std::make_unique<X11Backend>();
}

}  // namespace X11
}  // namespace Capture
}  // namespace ZOLT
