// Utilities, cropping: CropCaptureImage, ClipCorner, MakeColumnTransparent, MakeRowTransparent.
// Blending is in ImageBlending.cpp, similarity and random names in SimilarityAndNames.cpp.
//
// Clearing the part of a capture that the previous capture already shows.

#include <ZOLT/Utilities.h>

#include "core/Diagnostics.h"

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace ZOLT {
namespace Stitching {

namespace {

const cv::Scalar kCleared(0, 0, 0, 0);

/// Every clearing is a one-pixel, four-connected segment that covers both of its end points.
void ClearSegment(cv::Mat& image, const cv::Point& from, const cv::Point& to)
{
    cv::line(image, from, to, kCleared, 1, cv::LINE_4, 0);
}

/// A point from coordinates worked out in 64 bits. Coordinates beyond the int range saturate,
/// which keeps them out of bounds, so extreme translations end in the bounds message.
cv::Point SaturatedPoint(std::int64_t x, std::int64_t y)
{
    return cv::Point(cv::saturate_cast<int>(x), cv::saturate_cast<int>(y));
}

bool PointWithin(const cv::Mat& image, const cv::Point& point)
{
    return point.x >= 0 && point.y >= 0 && point.x < image.cols && point.y < image.rows;
}

}  // namespace

void Utilities::CropCaptureImage(cv::Mat& capture, const Translation& translation, const cv::Rect& rectangle)
{
    // 64 bits: the magnitude of INT_MIN and the sums below must not overflow.
    const std::int64_t r = translation.GetRows();
    const std::int64_t c = translation.GetCols();
    const std::int64_t a = std::llabs(r);
    const std::int64_t b = std::llabs(c);
    const std::int64_t w = rectangle.width;
    const std::int64_t h = rectangle.height;

    if (r == 0) {
        if (c > 0) {
            const std::int64_t x = (w - b) / 2 + b;
            ClipCorner(capture, SaturatedPoint(x, 0), SaturatedPoint(x, h - 1), false);
        } else {
            const std::int64_t x = (w - b) / 2;
            ClipCorner(capture, SaturatedPoint(x, 0), SaturatedPoint(x, h - 1), true);
        }
    } else if (c == 0) {
        if (r > 0) {
            const std::int64_t y = (h - a) / 2 + a;
            ClipCorner(capture, SaturatedPoint(0, y), SaturatedPoint(w - 1, y), false);
        } else {
            const std::int64_t y = (h - a) / 2;
            ClipCorner(capture, SaturatedPoint(0, y), SaturatedPoint(w - 1, y), true);
        }
    } else if (r > 0 && c > 0) {
        ClipCorner(capture, SaturatedPoint(b, h - 1), SaturatedPoint(w - 1, a), false);
    } else if (r > 0) {
        ClipCorner(capture, SaturatedPoint(0, a), SaturatedPoint(w - b, h - 1), false);
    } else if (c < 0) {
        ClipCorner(capture, SaturatedPoint(0, h - a), SaturatedPoint(w - b, 0), true);
    } else {
        ClipCorner(capture, SaturatedPoint(b, 0), SaturatedPoint(w - 1, h - a), true);
    }
}

namespace {

/// One walk of a sloped cut away from its first point, a column per step (`stepX` +1 to the
/// right, -1 to the left), clearing each column from the line toward one edge.
class SlopedWalk {
public:
    SlopedWalk(const cv::Mat& image, const cv::Point& start, float slope, int stepX)
        : lastRow_(static_cast<float>(image.rows - 1)),
          lastCol_(image.cols - 1),
          x_(start.x),
          y_(static_cast<float>(start.y)),
          stepX_(stepX),
          stepY_(stepX > 0 ? -slope : slope)
    {
    }

    bool Finished() const { return rowEnd_ && colEnd_; }

    /// Moves one column on; the point whose column is to be cleared next.
    cv::Point Step()
    {
        if (colEnd_) {
            // Once the walk stands on the first or last column, its further steps only clear
            // that column again, from rows moving toward one edge: each clearing lies within
            // the one just made or within the one from the edge the row is heading for. Going
            // there at once gives the same pixels, and ends walks whose single-precision step
            // no longer moves the row.
            y_ = stepY_ < 0.0f ? -1.0f : lastRow_ + 1.0f;
        } else {
            x_ += stepX_;
            y_ += stepY_;
        }
        ClampRow();
        ClampColumn();
        return cv::Point(x_, static_cast<int>(y_));
    }

private:
    void ClampRow()
    {
        if (y_ > lastRow_) {
            y_ = lastRow_;
            rowEnd_ = true;
        } else if (y_ < 0.0f) {
            y_ = 0.0f;
            rowEnd_ = true;
        }
    }

    void ClampColumn()
    {
        if (x_ > lastCol_) {
            x_ = lastCol_;
            colEnd_ = true;
        } else if (x_ < 0) {
            x_ = 0;
            colEnd_ = true;
        }
    }

    const float lastRow_;
    const int lastCol_;
    // Whole columns: the column moves by exactly one per step, so an int holds it exactly.
    int x_;
    float y_;
    const int stepX_;
    const float stepY_;
    bool rowEnd_ = false;
    bool colEnd_ = false;
};

}  // namespace

void Utilities::ClipCorner(cv::Mat& image, const cv::Point& first, const cv::Point& second, bool towardStart)
{
    if (!PointWithin(image, first) || !PointWithin(image, second)) {
        Diagnostics::ErrorLine("Points given are out of the bounds for the given matrix");
        return;
    }

    if (first.x == second.x) {
        const int edge = towardStart ? 0 : image.cols - 1;
        for (int y = 0; y < image.rows; ++y) {
            ClearSegment(image, cv::Point(first.x, y), cv::Point(edge, y));
        }
    } else if (first.y == second.y) {
        for (int x = 0; x < image.cols; ++x) {
            MakeColumnTransparent(image, cv::Point(x, first.y), towardStart);
        }
    } else {
        const float slope = static_cast<float>(first.y - second.y) / static_cast<float>(second.x - first.x);
        MakeColumnTransparent(image, first, towardStart);
        for (const int stepX : {1, -1}) {
            SlopedWalk walk(image, first, slope, stepX);
            while (!walk.Finished()) {
                MakeColumnTransparent(image, walk.Step(), towardStart);
            }
        }
    }
}

void Utilities::MakeColumnTransparent(cv::Mat& image, const cv::Point& point, bool towardStart)
{
    ClearSegment(image, point, cv::Point(point.x, towardStart ? 0 : image.rows - 1));
}

void Utilities::MakeRowTransparent(cv::Mat& image, const cv::Point& point, bool towardStart)
{
    ClearSegment(image, point, cv::Point(towardStart ? 0 : image.cols - 1, point.y));
}

}  // namespace Stitching
}  // namespace ZOLT
