#include "stitchers/CroppingProvider.h"

namespace ZOLT {
namespace Stitching {

CroppingProvider::CroppingProvider(IImageProvider& captures, const cv::Rect& region)
    : captures_(captures), region_(region)
{
}

std::size_t CroppingProvider::Count()
{
    return captures_.Count();
}

bool CroppingProvider::IsEmpty()
{
    return captures_.IsEmpty();
}

std::shared_ptr<cv::Mat> CroppingProvider::GetImageAt(std::size_t index)
{
    const auto replaced = replaced_.find(index);
    if (replaced != replaced_.end()) {
        return replaced->second;
    }
    return std::make_shared<cv::Mat>(*captures_.GetImageAt(index), region_);
}

void CroppingProvider::SetImageAt(std::size_t index, cv::Mat& image)
{
    replaced_[index] = std::make_shared<cv::Mat>(image);
}

}  // namespace Stitching
}  // namespace ZOLT
