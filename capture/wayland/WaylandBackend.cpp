#include "WaylandBackend.h"

#include "Screencopy.h"
#include "SelectOverlay.h"
#include "SwayTree.h"
#include "VirtualPointer.h"
#include "WaylandDisplay.h"

#include <ZOLT/Capture/CaptureError.h>

#include <string>
#include <vector>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

/// Target ids with this bit name an output by its global name; the others are sway windows.
constexpr std::uint64_t OUTPUT_TARGET = std::uint64_t{1} << 63;

std::string SizeText(const cv::Size& size)
{
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

/// Where a target shows now: the output and the target's region there, in its logical pixels.
struct Placement {
    const Output* output = nullptr;
    cv::Rect region;
};

/// `region` (empty: all of it) of something of `size`. Throws CaptureError (no target) when it
/// does not lie inside.
cv::Rect RegionInside(const cv::Rect& region, const cv::Size& size, const std::string& what)
{
    if (region.empty()) {
        return cv::Rect(cv::Point(), size);
    }
    if ((region & cv::Rect(cv::Point(), size)) != region) {
        throw CaptureError(CaptureError::Kind::NoTarget,
                           "the region does not lie inside the " + what + " (" + SizeText(size) + ")");
    }
    return region;
}

class WaylandBackend final : public ICaptureBackend {
public:
    WaylandBackend() : screencopy_(display_)
    {
        if (const std::optional<std::string> socket = SwayTree::SocketFromEnvironment()) {
            sway_ = std::make_unique<SwayTree>(*socket);
        }
    }

    std::string Name() const override { return "wayland"; }

    unsigned Capabilities() const override
    {
        unsigned capabilities = 0;
        if (sway_) {
            capabilities |= CanFindWindows;
        }
        if (display_.LayerShell() != nullptr && display_.Compositor() != nullptr && display_.Seat() != nullptr) {
            capabilities |= CanPick;
        }
        if (display_.PointerManager() != nullptr) {
            capabilities |= CanScroll;
        }
        return capabilities;
    }

    Target Find(const TargetQuery& query) override
    {
        if (!sway_) {
            if (query.id != 0 || !query.title.empty()) {
                throw CaptureError(CaptureError::Kind::NoTarget,
                                   "windows can be found by id or title only through sway's IPC, and SWAYSOCK is not "
                                   "set; capture an area of the output with --region or --select");
            }
            return Prepared(OutputTarget(*display_.Outputs().front(), query.region));
        }
        return Prepared(WindowTarget(FindWindow(query), query.region));
    }

    std::optional<Target> Pick() override
    {
        // Where the seat has no pointer yet (a headless compositor), the virtual one gives it one.
        if (display_.PointerManager() != nullptr) {
            PreparePointer(*display_.Outputs().front());
        }
        const std::optional<Selection> selection = SelectOnOverlay(
            display_, [this](const Output& output, const cv::Point& point) { return WindowAreaAt(output, point); });
        if (!selection) {
            return std::nullopt;
        }
        const Output* output = display_.FindOutput(selection->outputName);
        if (output == nullptr) {
            throw CaptureError(CaptureError::Kind::TargetGone, "the output was unplugged");
        }
        return Prepared(TargetOf(*output, *selection));
    }

    cv::Mat Grab(const Target& target) override
    {
        const Placement placement = Place(target);
        return screencopy_.Grab(*placement.output, placement.region);
    }

    void Scroll(const Target& target, const ScrollStep& step) override
    {
        const Placement placement = Place(target);
        PreparePointer(*placement.output);
        const cv::Rect& region = placement.region;
        pointer_->MoveTo(region.tl() + cv::Point(region.width / 2, region.height / 2));
        pointer_->Wheel(step.axis, step.towardStart, step.clicks);
    }

    cv::Point PointerPosition(const Target&) override
    {
        throw CaptureError(CaptureError::Kind::MissingProtocol, "a Wayland client cannot read where the pointer is");
    }

private:
    /// Makes the virtual pointer for `output` when there is none yet. Made as soon as the target
    /// is known: where it is the seat's first pointer, applications take it up only after a
    /// while, and wheel events before that are lost.
    void PreparePointer(const Output& output)
    {
        if (display_.PointerManager() == nullptr) {
            throw CaptureError(CaptureError::Kind::MissingProtocol,
                               "the Wayland compositor lacks zwlr_virtual_pointer_manager_v1 (scroll input): scroll "
                               "yourself with --manual");
        }
        if (!pointer_ || pointer_->OutputName() != output.globalName) {
            pointer_.reset();
            pointer_ = std::make_unique<VirtualPointer>(display_, output);
            display_.Roundtrip();
        }
    }

    /// `target`, with the pointer made ready for scrolling where the compositor offers one.
    Target Prepared(const Target& target)
    {
        if (display_.PointerManager() != nullptr) {
            PreparePointer(*Place(target).output);
        }
        return target;
    }

    SwayWindow FindWindow(const TargetQuery& query) const
    {
        const std::vector<SwayWindow> windows = sway_->Windows();
        for (const SwayWindow& window : windows) {
            const bool matches = query.id != 0          ? window.id == query.id
                                 : !query.title.empty() ? window.title.find(query.title) != std::string::npos
                                                        : window.focused;
            if (matches && window.visible) {
                return window;
            }
        }
        if (query.id != 0) {
            throw CaptureError(CaptureError::Kind::NoTarget, "no shown window has the id " + std::to_string(query.id));
        }
        if (!query.title.empty()) {
            throw CaptureError(CaptureError::Kind::NoTarget,
                               "no shown window has a title containing '" + query.title + "'");
        }
        throw CaptureError(CaptureError::Kind::NoTarget,
                           "no window has the focus; name one with --window or --window-name");
    }

    static Target WindowTarget(const SwayWindow& window, const cv::Rect& region)
    {
        return Target{window.id, RegionInside(region, window.area.size(), "window"), window.title};
    }

    static Target OutputTarget(const Output& output, const cv::Rect& region)
    {
        const std::string name = output.name.empty() ? "the output" : "output " + output.name;
        return Target{OUTPUT_TARGET | output.globalName, RegionInside(region, output.Area().size(), "output"), name};
    }

    /// The top-most shown window at `point` of `output`, in the output's coordinates; nothing
    /// without sway's IPC or over an empty place.
    std::optional<cv::Rect> WindowAreaAt(const Output& output, const cv::Point& point) const
    {
        const std::optional<SwayWindow> window = WindowAt(output, point);
        if (!window) {
            return std::nullopt;
        }
        return window->area - output.Area().tl();
    }

    std::optional<SwayWindow> WindowAt(const Output& output, const cv::Point& point) const
    {
        if (!sway_) {
            return std::nullopt;
        }
        const cv::Point inLayout = point + output.Area().tl();
        std::optional<SwayWindow> found;
        // Floating windows come last in the tree and lie above the tiled ones.
        for (const SwayWindow& window : sway_->Windows()) {
            if (window.visible && window.area.contains(inLayout)) {
                found = window;
            }
        }
        return found;
    }

    /// A click picks the window under it, a rectangle the part of the window under its middle
    /// that it covers; without a window there, the output's area.
    Target TargetOf(const Output& output, const Selection& selection) const
    {
        const cv::Rect& rect = selection.rect;
        const cv::Point middle = rect.tl() + cv::Point(rect.width / 2, rect.height / 2);
        const std::optional<SwayWindow> window = WindowAt(output, middle);
        if (!window) {
            return OutputTarget(output, selection.click ? cv::Rect() : rect);
        }
        if (selection.click) {
            return WindowTarget(*window, cv::Rect());
        }
        const cv::Rect inWindow = ((rect + output.Area().tl()) & window->area) - window->area.tl();
        return WindowTarget(*window, inWindow);
    }

    Placement Place(const Target& target) const
    {
        if ((target.id & OUTPUT_TARGET) != 0) {
            const Output* output = display_.FindOutput(static_cast<std::uint32_t>(target.id & ~OUTPUT_TARGET));
            if (output == nullptr) {
                throw CaptureError(CaptureError::Kind::TargetGone, "the output was unplugged");
            }
            return Placement{output, target.region};
        }
        for (const SwayWindow& window : sway_->Windows()) {
            if (window.id == target.id) {
                return PlaceWindow(window, target.region);
            }
        }
        throw CaptureError(CaptureError::Kind::TargetGone, "the window was closed");
    }

    Placement PlaceWindow(const SwayWindow& window, const cv::Rect& region) const
    {
        if (!window.visible) {
            throw CaptureError(CaptureError::Kind::TargetGone, "the window was hidden (its workspace is not shown)");
        }
        if ((region & cv::Rect(cv::Point(), window.area.size())) != region) {
            throw CaptureError(CaptureError::Kind::Unreadable, "the window was resized to " +
                                                                   SizeText(window.area.size()) +
                                                                   " and no longer holds the captured region");
        }
        for (const std::unique_ptr<Output>& output : display_.Outputs()) {
            const bool same = output->name.empty() ? output->Area().tl() == window.outputArea.tl()
                                                   : output->name == window.outputName;
            if (!same) {
                continue;
            }
            const cv::Rect onOutput = region + window.area.tl() - output->Area().tl();
            if ((onOutput & cv::Rect(cv::Point(), output->Area().size())) != onOutput) {
                throw CaptureError(CaptureError::Kind::Unreadable,
                                   "the window lies partly off its output; move it fully onto one");
            }
            return Placement{output.get(), onOutput};
        }
        throw CaptureError(CaptureError::Kind::Unreadable, "the window lies on output '" + window.outputName +
                                                               "', which the compositor did not announce");
    }

    WaylandDisplay display_;
    std::unique_ptr<SwayTree> sway_;
    Screencopy screencopy_;
    std::unique_ptr<VirtualPointer> pointer_;
};

}  // namespace

std::unique_ptr<ICaptureBackend> OpenBackend()
{
    return std::make_unique<WaylandBackend>();
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
