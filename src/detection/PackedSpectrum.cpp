#include "detection/PackedSpectrum.h"

namespace ZOLT {
namespace Stitching {

namespace {

float Sign(float component)
{
    return component < 0.0F ? -1.0F : 1.0F;
}

/// The normalised product of a component of the first spectrum and the conjugate of one of the
/// second, as cv::mulSpectrums followed by the zero guard and the division by the absolute value
/// would leave it: the products are formed in double and rounded to float as cv::mulSpectrums
/// forms them; a part that is exactly 0 (or -0) is lifted to a tiny positive value and so becomes
/// +1; any other part divided by its own absolute value is exactly +1 or -1.
inline void NormaliseProduct(const float* a, const float* b, float* out)
{
    const double real = static_cast<double>(a[0]) * b[0] + static_cast<double>(a[1]) * b[1];
    const double imaginary = static_cast<double>(a[1]) * b[0] - static_cast<double>(a[0]) * b[1];
    out[0] = Sign(static_cast<float>(real));
    out[1] = Sign(static_cast<float>(imaginary));
}

/// The inner columns of one row: packed values 1 to 2 * inner of both spectra into complex values
/// 1 to inner of the normalised row. The three ranges never overlap, even when the first
/// spectrum lies in the same row of the normalised matrix: the writes end at float `width` of
/// the row, and the first spectrum's inner values start after it.
void NormaliseInnerColumns(const float* __restrict a, const float* __restrict b, float* __restrict out, int inner)
{
    for (int part = 0; part < 2 * inner; part += 2) {
        NormaliseProduct(a + part, b + part, out + part);
    }
}

cv::Mat ColumnAsRow(const cv::Mat& fullSpectrum, int column)
{
    return fullSpectrum.col(column).clone().reshape(2, 1);
}

}  // namespace

bool RowSumsAreExact(const cv::Mat& grey)
{
    return grey.depth() == CV_8U && static_cast<double>(grey.cols) * 255.0 < 16777216.0;
}

void TransformEdgeColumns(const cv::Mat& grey, const cv::Rect& placed, PackedSpectrum& spectrum)
{
    CV_Assert(grey.type() == CV_8UC1 && placed.size() == grey.size());
    const int height = spectrum.size.height;
    const bool evenWidth = spectrum.size.width % 2 == 0;
    // The complex output transforms columns 0 and width / 2 of the row transforms, that is the
    // row sums and the sums with alternating signs (by the column's parity in the padded row).
    cv::Mat sums(1, height, CV_32FC2, cv::Scalar::all(0));
    cv::Mat alternating(1, height, CV_32FC2, cv::Scalar::all(0));
    for (int row = 0; row < grey.rows; ++row) {
        const unsigned char* pixels = grey.ptr<unsigned char>(row);
        int even = 0;
        int odd = 0;
        for (int col = 0; col + 1 < grey.cols; col += 2) {
            even += pixels[col];
            odd += pixels[col + 1];
        }
        if (grey.cols % 2 != 0) {
            even += pixels[grey.cols - 1];
        }
        const int paddedRow = placed.y + row;
        sums.ptr<float>(0)[2 * paddedRow] = static_cast<float>(even + odd);
        alternating.ptr<float>(0)[2 * paddedRow] = static_cast<float>(placed.x % 2 == 0 ? even - odd : odd - even);
    }
    cv::dft(sums, spectrum.firstColumn, 0, 0);
    if (evenWidth) {
        cv::dft(alternating, spectrum.middleColumn, 0, 0);
    } else {
        spectrum.middleColumn = cv::Mat();
    }
}

void TakeEdgeColumns(const cv::Mat& fullSpectrum, PackedSpectrum& spectrum)
{
    spectrum.firstColumn = ColumnAsRow(fullSpectrum, 0);
    if (fullSpectrum.cols % 2 == 0) {
        spectrum.middleColumn = ColumnAsRow(fullSpectrum, fullSpectrum.cols / 2);
    } else {
        spectrum.middleColumn = cv::Mat();
    }
}

void NormaliseCrossPower(const PackedSpectrum& first, const PackedSpectrum& second, cv::Mat& normalised)
{
    const cv::Size size = first.size;
    CV_Assert(second.size == size && normalised.size() == size && normalised.type() == CV_32FC2);
    const int inner = (size.width - 1) / 2;
    const bool middle = size.width % 2 == 0;
    const float* firstColumnA = first.firstColumn.ptr<float>(0);
    const float* firstColumnB = second.firstColumn.ptr<float>(0);
    const float* middleA = middle ? first.middleColumn.ptr<float>(0) : nullptr;
    const float* middleB = middle ? second.middleColumn.ptr<float>(0) : nullptr;

    for (int row = 0; row < size.height; ++row) {
        float* out = normalised.ptr<float>(row);
        if (inner > 0) {
            // Inner column x is at 2x - 1 (real) and 2x (imaginary) in the packed layout, at 2x
            // and 2x + 1 in the complex one. Column width / 2, written below, may overwrite the
            // first packed values of this row, which have been read by then.
            NormaliseInnerColumns(first.packed.ptr<float>(row) + 1, second.packed.ptr<float>(row) + 1, out + 2, inner);
        }
        NormaliseProduct(firstColumnA + 2 * row, firstColumnB + 2 * row, out);
        if (middle) {
            NormaliseProduct(middleA + 2 * row, middleB + 2 * row, out + size.width);
        }
    }
}

cv::Mat Unpack(const PackedSpectrum& spectrum)
{
    const cv::Size size = spectrum.size;
    cv::Mat full(size, CV_32FC2);
    const int inner = (size.width - 1) / 2;
    for (int row = 0; row < size.height; ++row) {
        cv::Vec2f* out = full.ptr<cv::Vec2f>(row);
        out[0] = spectrum.firstColumn.at<cv::Vec2f>(0, row);
        if (size.width % 2 == 0) {
            out[size.width / 2] = spectrum.middleColumn.at<cv::Vec2f>(0, row);
        }
        for (int x = 1; x <= inner; ++x) {
            const float* packed = spectrum.packed.ptr<float>(row);
            out[x] = cv::Vec2f(packed[2 * x - 1], packed[2 * x]);
        }
    }
    // The right half mirrors the left: X(y, width - x) = conj X(height - y, x).
    for (int row = 0; row < size.height; ++row) {
        const cv::Vec2f* mirror = full.ptr<cv::Vec2f>((size.height - row) % size.height);
        cv::Vec2f* out = full.ptr<cv::Vec2f>(row);
        for (int x = 1; x <= inner; ++x) {
            out[size.width - x] = cv::Vec2f(mirror[x][0], -mirror[x][1]);
        }
    }
    return full;
}

}  // namespace Stitching
}  // namespace ZOLT
