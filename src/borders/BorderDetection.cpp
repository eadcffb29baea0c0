// The decorated stitch: extract the common borders, let the wrapped stitcher join the content,
// put the borders back.

#include <ZOLT/Borders.h>

#include "core/Diagnostics.h"
#include "core/ListenerReports.h"

namespace ZOLT {
namespace Stitching {

BorderDetection::BorderDetection() = default;
BorderDetection::BorderDetection(const BorderDetection& other) = default;

BorderDetection& BorderDetection::operator=(const BorderDetection& other)
{
    StitchingModifier::operator=(other);
    return *this;
}

BorderDetection::~BorderDetection()
{
    stitcher_.reset();
}

bool BorderDetection::Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener, int progressStart,
                             int progressEnd, bool reportCompletion)
{
    // Checked before extraction so that the host's captures are not cropped for nothing.
    if (!stitcher_) {
        Diagnostics::ErrorLine(listener, "Error: No stitcher to decorate.");
        ReportCompletion(listener, reportCompletion, false);
        return false;
    }

    // The designed ExtractBorders and ApplyBorders take no listener: their lines reach this
    // call's listener through the member, for this call only.
    stitchListener_ = listener;
    struct ListenerScope {
        IStitcherListener*& held;
        ~ListenerScope() { held = nullptr; }
    } const scope{stitchListener_};
    const bool extracted = ExtractBorders(provider);

    // The wrapped stitcher gets the whole range and never reports completion: this call does.
    if (!stitcher_->Stitch(provider, result, listener, progressStart, progressEnd, false)) {
        Diagnostics::ErrorLine(listener, "Error: Failed to stitch images.");
        ReportCompletion(listener, reportCompletion, false);
        return false;
    }

    if (extracted && !ApplyBorders(result)) {
        Diagnostics::ErrorLine(listener, "Error: Found borders, but failed to apply them to result image.");
        if (listener == nullptr) {
            return false;
        }
        // The listener decides whether the content without its borders is good enough.
        const bool accepted = listener->OnError(IStitcherListener::BorderApplicationFailed, true);
        ReportCompletion(listener, reportCompletion, accepted);
        return accepted;
    }

    ReportCompletion(listener, reportCompletion, true);
    return true;
}

std::vector<Translation> BorderDetection::GetTranslations() const
{
    return stitcher_ ? stitcher_->GetTranslations() : std::vector<Translation>();
}

}  // namespace Stitching
}  // namespace ZOLT
