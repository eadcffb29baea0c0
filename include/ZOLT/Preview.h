#pragma once

// A scaled live preview that grows capture by capture.

#include <ZOLT/Core.h>
#include <ZOLT/Detection.h>

namespace ZOLT {
namespace Stitching {

/// Scales each capture to 250 pixels wide, measures its translation against the last accepted
/// capture and places it on a canvas that grows at any side as needed.
///
/// Used from one thread at a time; it can be moved but not copied.
struct ZOLT_STITCHING_API PreviewImage {
    enum PreviewErrorCode : std::int32_t {
        Success = 0,
        NoTranslation = 1,
        ResizeFailed = 3,
        /// The capture is empty or not an 8-bit four-channel image; nothing changed.
        InvalidCapture = 4,
    };

    /// A 750 x 750 canvas; the first capture's top-left corner at row 250, column 250.
    PreviewImage();
    /// A canvas of `canvasSize`; the first capture's top-left corner at row `initialRow`,
    /// column `initialColumn` (row first).
    PreviewImage(cv::Size canvasSize, int initialRow, int initialColumn);
    PreviewImage(const PreviewImage&) = delete;
    PreviewImage& operator=(const PreviewImage&) = delete;
    PreviewImage(PreviewImage&& other) noexcept;
    PreviewImage& operator=(PreviewImage&& other) noexcept;
    virtual ~PreviewImage();

    PreviewErrorCode AddCapture(const cv::Mat& capture);
    /// A deep copy of the canvas.
    cv::Mat GetPreview();
    /// A copy of the canvas scaled to fit maxWidth x maxHeight, aspect ratio kept, never
    /// enlarged and never smaller than 1 x 1.
    cv::Mat GetPreview(int maxWidth, int maxHeight);

private:
    PreviewErrorCode UpdatePreview(cv::Mat& scaled, const cv::Rect& rectangle, const Translation& translation) const;

    std::shared_ptr<cv::Mat> canvas_;
    std::shared_ptr<cv::Mat> lastCapture_;
    PhaseCorrelationTranslationDetector detector_;
    std::shared_ptr<cv::Rect> rectangle_;
};

}  // namespace Stitching
}  // namespace ZOLT
