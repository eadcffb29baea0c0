// BasicBorderDetection, the borders: ExtractBorders, CopyBorders, ApplyBorders, AddBorders,
// CalculateFinalImageSize, HoldsAnyBorder. Saving the common borders of the first capture,
// cropping every capture to its content, and framing a stitched content image with them.
// The constructor and the content search are in ContentBox.cpp.

#include <ZOLT/Borders.h>

#include "core/Diagnostics.h"
#include "core/LargeBuffers.h"

namespace ZOLT {
namespace Stitching {

namespace {

/// Replaces `holder` by a deep copy of the strip (rows, cols) of `first`, or by an empty matrix
/// when the side has no strip, so that an older extraction's strip is never re-applied.
bool SaveBorder(std::shared_ptr<cv::Mat>& holder, bool hasStrip, const cv::Mat& first, const cv::Range& rows,
                const cv::Range& cols, const char* failure, IStitcherListener* listener)
{
    if (!hasStrip) {
        holder = std::make_shared<cv::Mat>();
        return true;
    }
    holder = std::make_shared<cv::Mat>(first(rows, cols).clone());
    if (holder->empty()) {
        Diagnostics::ErrorLine(listener, failure);
        return false;
    }
    return true;
}

/// A strip of another type would not land in the canvas: copyTo would reallocate the view.
bool Fits(const cv::Mat& border, const cv::Mat& bordered)
{
    return border.empty() || border.type() == bordered.type();
}

void PlaceBorder(const cv::Mat& border, cv::Mat target)
{
    if (!border.empty()) {
        border.copyTo(target);
    }
}

}  // namespace

bool BasicBorderDetection::ExtractBorders(IImageProvider& provider)
{
    if (provider.Count() == 0) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Empty image list when extracting common borders.");
        return false;
    }

    const cv::Mat first = LargeCopy(*provider.GetImageAt(0));
    const cv::Size size(first.cols, first.rows);
    cv::Range rowRange(0, 0);
    cv::Range colRange(0, 0);
    if (!FindContent(provider, size, rowRange, colRange)) {
        Diagnostics::NoticeLine(StitchListener(), "No content box was found.");
        return false;
    }
    if (!CopyBorders(first, rowRange, colRange)) {
        Diagnostics::NoticeLine(StitchListener(), "No borders were extracted.");
        return false;
    }

    for (std::size_t i = 0; i < provider.Count(); ++i) {
        cv::Mat content = LargeCopy((*provider.GetImageAt(i))(rowRange, colRange));
        provider.SetImageAt(i, content);
    }
    return true;
}

bool BasicBorderDetection::CopyBorders(const cv::Mat& first, const cv::Range& rowRange, const cv::Range& colRange)
{
    const int rows = first.rows;
    const int cols = first.cols;
    const cv::Range allCols(0, cols);
    const bool saved = SaveBorder(topBorder_, rowRange.start > 0, first, cv::Range(0, rowRange.start), allCols,
                                  "Error: Failed to extract top border.", StitchListener()) &&
                       SaveBorder(bottomBorder_, rowRange.end < rows, first, cv::Range(rowRange.end, rows), allCols,
                                  "Error: Failed to extract bottom border.", StitchListener()) &&
                       SaveBorder(leftBorder_, colRange.start > 0, first, rowRange, cv::Range(0, colRange.start),
                                  "Error: Failed to extract left border.", StitchListener()) &&
                       SaveBorder(rightBorder_, colRange.end < cols, first, rowRange, cv::Range(colRange.end, cols),
                                  "Error: Failed to extract right border.", StitchListener());
    if (!saved) {
        return false;
    }

    if (!HoldsAnyBorder()) {
        Diagnostics::ErrorLine(StitchListener(), "Error: No border has been extracted.");
        return false;
    }
    return true;
}

bool BasicBorderDetection::ApplyBorders(cv::Mat& image)
{
    if (image.empty()) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Input image is empty.");
        return false;
    }
    if (!HoldsAnyBorder()) {
        Diagnostics::ErrorLine(StitchListener(), "Error: No border has been extracted.");
        return false;
    }

    cv::Size finalSize;
    cv::Range rowRange;
    cv::Range colRange;
    CalculateFinalImageSize(image.size(), finalSize, rowRange, colRange);

    cv::Mat bordered;
    try {
        bordered = LargeZeros(finalSize, image.type());
        image.copyTo(bordered(rowRange, colRange));
    } catch (const cv::Exception&) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Insufficient memory to apply borders.");
        return false;
    }

    if (!AddBorders(rowRange, colRange, bordered)) {
        Diagnostics::ErrorLine(StitchListener(), "Error: Failed to apply borders.");
        return false;
    }
    image = bordered;
    return true;
}

bool BasicBorderDetection::AddBorders(const cv::Range& rowRange, const cv::Range& colRange, cv::Mat& bordered)
{
    const cv::Mat& top = *topBorder_;
    const cv::Mat& bottom = *bottomBorder_;
    const cv::Mat& left = *leftBorder_;
    const cv::Mat& right = *rightBorder_;
    if (!Fits(top, bordered) || !Fits(bottom, bordered) || !Fits(left, bordered) || !Fits(right, bordered)) {
        return false;
    }

    // The top and bottom strips carry the corners; the side strips span the first capture's
    // content rows only, next to the top of the content, and the margins below them stay 0.
    PlaceBorder(top, bordered(cv::Range(0, rowRange.start), cv::Range(0, top.cols)));
    PlaceBorder(bottom, bordered(cv::Range(rowRange.end, bordered.rows), cv::Range(0, bottom.cols)));
    PlaceBorder(left, bordered(cv::Range(rowRange.start, rowRange.start + left.rows), cv::Range(0, colRange.start)));
    PlaceBorder(right, bordered(cv::Range(rowRange.start, rowRange.start + right.rows),
                                cv::Range(colRange.end, bordered.cols)));
    return true;
}

void BasicBorderDetection::CalculateFinalImageSize(const cv::Size& contentSize, cv::Size& finalSize,
                                                   cv::Range& rowRange, cv::Range& colRange)
{
    finalSize = contentSize;
    rowRange = cv::Range(0, contentSize.height);
    colRange = cv::Range(0, finalSize.width);
    if (!topBorder_->empty()) {
        finalSize.height += topBorder_->rows;
        rowRange = cv::Range(topBorder_->rows, finalSize.height);
    }
    if (!bottomBorder_->empty()) {
        finalSize.height += bottomBorder_->rows;
    }
    if (!leftBorder_->empty()) {
        finalSize.width += leftBorder_->cols;
        colRange = cv::Range(leftBorder_->cols, finalSize.width);
    }
    if (!rightBorder_->empty()) {
        finalSize.width += rightBorder_->cols;
    }
}

bool BasicBorderDetection::HoldsAnyBorder() const
{
    return !leftBorder_->empty() || !rightBorder_->empty() || !topBorder_->empty() || !bottomBorder_->empty();
}

}  // namespace Stitching
}  // namespace ZOLT
