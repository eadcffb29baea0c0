// A scaled live preview that grows capture by capture.

#include <ZOLT/Preview.h>
#include <ZOLT/Utilities.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

namespace ZOLT {
namespace Stitching {

namespace {

const cv::Size DEFAULT_CANVAS_SIZE(750, 750);
constexpr int DEFAULT_INITIAL_ROW = 250;
constexpr int DEFAULT_INITIAL_COLUMN = 250;
constexpr int PREVIEW_WIDTH = 250;
// Opaque black: a new canvas and every area added when it grows.
const cv::Scalar BACKGROUND(0, 0, 0, 255);

bool IsValidCapture(const cv::Mat& capture)
{
    return !capture.empty() && capture.dims == 2 && capture.type() == CV_8UC4;
}

// Present and holding a capture: false before the first capture, and also after a first capture
// that could not be placed, so that the next one starts the series instead of being correlated
// against nothing.
bool HoldsCapture(const std::shared_ptr<cv::Mat>& holder)
{
    return holder && !holder->empty();
}

// Truncation towards zero that saturates at the int range, so that an extreme aspect ratio or a
// degenerate box (zero or negative bounds) can never make an out-of-range conversion.
int TruncateToInt(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

// The height every capture of the series is scaled to: the first capture's aspect ratio at the
// preview width. Below 1 for a capture too flat to give a single row.
int ScaledHeight(const cv::Mat& capture)
{
    return TruncateToInt(static_cast<double>(capture.rows) / capture.cols * PREVIEW_WIDTH);
}

bool IsSized(const cv::Rect& rectangle)
{
    return static_cast<std::int64_t>(rectangle.width) * rectangle.height > 0;
}

bool FitsCanvas(const cv::Mat& canvas, const cv::Rect& rectangle)
{
    const std::int64_t bottom = static_cast<std::int64_t>(rectangle.y) + rectangle.height;
    const std::int64_t right = static_cast<std::int64_t>(rectangle.x) + rectangle.width;
    return rectangle.y >= 0 && rectangle.x >= 0 && bottom <= canvas.rows && right <= canvas.cols;
}

// Grows the canvas at whichever sides the rectangle sticks out, filling the new area with the
// background. Growing at the top or left moves the old content down or right and puts the
// rectangle at 0 on that axis. Returns false, with the canvas unchanged, when OpenCV cannot
// make the larger canvas or the size would exceed what a matrix can hold.
bool EnlargeCanvas(cv::Mat& canvas, cv::Rect& rectangle)
{
    try {
        std::int64_t rowShift = 0;
        std::int64_t columnShift = 0;
        std::int64_t bottom = static_cast<std::int64_t>(rectangle.y) + rectangle.height;
        std::int64_t right = static_cast<std::int64_t>(rectangle.x) + rectangle.width;
        if (rectangle.y < 0) {
            rowShift = -static_cast<std::int64_t>(rectangle.y);
            rectangle.y = 0;
            bottom = rectangle.height;
        }
        if (rectangle.x < 0) {
            columnShift = -static_cast<std::int64_t>(rectangle.x);
            rectangle.x = 0;
            right = rectangle.width;
        }

        const std::int64_t newHeight = std::max<std::int64_t>(canvas.rows + rowShift, bottom);
        const std::int64_t newWidth = std::max<std::int64_t>(canvas.cols + columnShift, right);
        if (newHeight > INT_MAX || newWidth > INT_MAX) {
            return false;
        }

        cv::Mat enlarged(static_cast<int>(newHeight), static_cast<int>(newWidth), CV_8UC4, BACKGROUND);
        if (canvas.rows >= 1 && canvas.cols >= 1) {
            const cv::Rect oldContent(static_cast<int>(columnShift), static_cast<int>(rowShift), canvas.cols,
                                      canvas.rows);
            canvas.copyTo(enlarged(oldContent));
        }
        canvas = enlarged;
        return true;
    } catch (const cv::Exception&) {
        return false;
    }
}

// The size that fits a canvas of `size` into maxWidth x maxHeight with its aspect ratio kept:
// first bounded by the height, then by the width; never enlarged and at least 1 x 1.
cv::Size FitIntoBox(const cv::Size& size, int maxWidth, int maxHeight)
{
    int height = size.height;
    int width = size.width;
    if (height > maxHeight) {
        width = TruncateToInt(static_cast<double>(width) / height * maxHeight);
        height = maxHeight;
    }
    if (width > maxWidth) {
        height = TruncateToInt(static_cast<double>(height) / width * maxWidth);
        width = maxWidth;
    }
    return cv::Size(std::max(width, 1), std::max(height, 1));
}

}  // namespace

PreviewImage::PreviewImage() : PreviewImage(DEFAULT_CANVAS_SIZE, DEFAULT_INITIAL_ROW, DEFAULT_INITIAL_COLUMN)
{
}

PreviewImage::PreviewImage(cv::Size canvasSize, int initialRow, int initialColumn)
    : canvas_(std::make_shared<cv::Mat>(canvasSize, CV_8UC4, BACKGROUND)),
      lastCapture_(),
      detector_(StitcherParameters()),
      rectangle_(std::make_shared<cv::Rect>(initialColumn, initialRow, 0, 0))
{
}

// The moved-from preview gets an empty canvas and an unsized rectangle of its own, so it stays
// usable: its next capture starts a new series at row 0, column 0.
PreviewImage::PreviewImage(PreviewImage&& other) noexcept
    : canvas_(std::exchange(other.canvas_, std::make_shared<cv::Mat>())),
      lastCapture_(std::move(other.lastCapture_)),
      detector_(other.detector_),
      rectangle_(std::exchange(other.rectangle_, std::make_shared<cv::Rect>()))
{
}

PreviewImage& PreviewImage::operator=(PreviewImage&& other) noexcept
{
    if (this != &other) {
        canvas_ = std::exchange(other.canvas_, std::make_shared<cv::Mat>());
        lastCapture_ = std::move(other.lastCapture_);
        detector_ = other.detector_;
        rectangle_ = std::exchange(other.rectangle_, std::make_shared<cv::Rect>());
    }
    return *this;
}

PreviewImage::~PreviewImage() = default;

PreviewImage::PreviewErrorCode PreviewImage::AddCapture(const cv::Mat& capture)
{
    if (!IsValidCapture(capture)) {
        return InvalidCapture;
    }

    cv::Rect& rectangle = *rectangle_;
    if (!IsSized(rectangle)) {
        const int height = ScaledHeight(capture);
        if (height < 1) {
            return InvalidCapture;
        }
        rectangle.width = PREVIEW_WIDTH;
        rectangle.height = height;
    }

    cv::Mat scaled;
    cv::resize(capture, scaled, rectangle.size(), 0, 0, cv::INTER_LINEAR);

    PreviewErrorCode result = Success;
    if (!HoldsCapture(lastCapture_)) {
        result = UpdatePreview(scaled, rectangle, Translation(0, 0));
        lastCapture_ = std::make_shared<cv::Mat>();
    } else {
        ITranslationDetector& detector = detector_;
        const Translation translation = detector.DetectTranslation(*lastCapture_, scaled, nullptr);
        if (translation == Translation(0, 0)) {
            return NoTranslation;
        }
        // Content that moved up puts the new capture lower on the canvas.
        rectangle.x -= translation.GetCols();
        rectangle.y -= translation.GetRows();
        result = UpdatePreview(scaled, rectangle, translation);
    }

    if (result == Success) {
        *lastCapture_ = scaled;
    }
    return result;
}

cv::Mat PreviewImage::GetPreview()
{
    cv::Mat preview;
    canvas_->copyTo(preview);
    return preview;
}

cv::Mat PreviewImage::GetPreview(int maxWidth, int maxHeight)
{
    const cv::Mat& canvas = *canvas_;
    if (canvas.empty()) {
        return cv::Mat(1, 1, CV_8UC4, BACKGROUND);
    }
    cv::Mat preview;
    cv::resize(canvas, preview, FitIntoBox(canvas.size(), maxWidth, maxHeight), 0, 0, cv::INTER_LINEAR);
    return preview;
}

// `rectangle` is the held rectangle itself: enlarging the canvas updates it through the holder.
PreviewImage::PreviewErrorCode PreviewImage::UpdatePreview(cv::Mat& scaled, const cv::Rect& rectangle,
                                                           const Translation& translation) const
{
    if (!FitsCanvas(*canvas_, rectangle) && !EnlargeCanvas(*canvas_, *rectangle_)) {
        return ResizeFailed;
    }
    if (HoldsCapture(lastCapture_)) {
        Utilities::CropCaptureImage(scaled, translation, rectangle);
    }
    const cv::Range rows(rectangle.y, rectangle.y + rectangle.height);
    const cv::Range columns(rectangle.x, rectangle.x + rectangle.width);
    Utilities::BlendImages(scaled, *canvas_, rows, columns);
    return Success;
}

}  // namespace Stitching
}  // namespace ZOLT
