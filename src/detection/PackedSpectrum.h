#pragma once

// A capture's spectrum in the compact form the correlation works with.
//
// The correlation surface is the inverse transform of a full complex spectrum, of which OpenCV
// reads columns 0 to width / 2 only. The forward transform with complex output computes the inner
// columns of that half exactly as the transform to OpenCV's packed real layout (CCS) does, but
// columns 0 and width / 2 as complex transforms of the row sums and of the alternating row sums,
// which differ from the packed layout's values in the last bits. Those two columns are therefore
// kept separately, computed the way the complex output computes them; with the packed layout
// this gives every value of the complex output's left half (up to the sign of zeros, which no
// later step tells apart) from a transform that writes half as much.

#include <opencv2/core.hpp>

namespace ZOLT {
namespace Stitching {

struct PackedSpectrum {
    /// The padded transform size.
    cv::Size size;
    /// CV_32FC1 of `size`: the transform in packed real layout; only the inner columns are read.
    /// Empty when the width is 1.
    cv::Mat packed;
    /// 1 x height CV_32FC2: spectrum column 0.
    cv::Mat firstColumn;
    /// 1 x height CV_32FC2: spectrum column width / 2, for even widths only.
    cv::Mat middleColumn;
};

/// Whether the row sums of `grey` come out of the forward transform exactly: every partial sum of
/// 8-bit values stays below 2^24, so the order in which the transform adds them does not matter.
bool RowSumsAreExact(const cv::Mat& grey);

/// Columns 0 and width / 2 of the complex-output transform of a padded image that holds the 8-bit
/// `grey` at `placed` and zeros elsewhere, from the (exact) row sums of `grey`.
void TransformEdgeColumns(const cv::Mat& grey, const cv::Rect& placed, PackedSpectrum& spectrum);

/// Columns 0 and width / 2 taken from a full complex-output spectrum.
void TakeEdgeColumns(const cv::Mat& fullSpectrum, PackedSpectrum& spectrum);

/// The cross-power spectrum of two spectra of one size (first times the conjugate of second),
/// each real and imaginary part replaced by its sign, written to columns 0 to width / 2 of the
/// CV_32FC2 matrix `normalised`. The first spectrum's packed layout may lie in the other columns
/// of `normalised`: each row is read before those columns are written.
void NormaliseCrossPower(const PackedSpectrum& first, const PackedSpectrum& second, cv::Mat& normalised);

/// The full complex spectrum (CV_32FC2 of the padded size), the right half mirrored from the left.
cv::Mat Unpack(const PackedSpectrum& spectrum);

}  // namespace Stitching
}  // namespace ZOLT
