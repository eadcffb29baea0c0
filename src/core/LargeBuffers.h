#pragma once

// Pixel buffers of megabytes: transform buffers, captures read back from spill files, working
// copies and result canvases.
//
// Such buffers come and go many times during a stitch, on several threads. From the heap they
// would stay with the thread's arena after being freed, and the process would keep their
// memory for good; mapped on their own they give it back when freed, and the system may back
// them with huge pages, so that first touching tens of megabytes costs a few page faults
// instead of thousands (where page faults are slow, as in virtual machines, that is most of the
// cost of a fresh buffer).

#include <opencv2/core.hpp>

namespace ZOLT {
namespace Stitching {

/// Makes `matrix` take its next buffers from the allocator for large buffers. Buffers below
/// 2 MiB still come from OpenCV's usual heap allocation. Matrices of other allocators are
/// unaffected until they allocate anew.
void UseLargeBufferAllocator(cv::Mat& matrix);

/// A copy of `image` in a buffer of the large-buffer allocator, continuous like clone().
cv::Mat LargeCopy(const cv::Mat& image);

/// A matrix of zeros in a buffer of the large-buffer allocator, like cv::Mat::zeros.
cv::Mat LargeZeros(const cv::Size& size, int type);

}  // namespace Stitching
}  // namespace ZOLT
