#include <ZOLT/Providers.h>

#include <stdexcept>

namespace ZOLT {

namespace {

[[noreturn]] void ThrowInvalidSubscript()
{
    throw std::out_of_range("invalid vector subscript");
}

}  // namespace

BasicImageProvider::BasicImageProvider() = default;
BasicImageProvider::BasicImageProvider(const BasicImageProvider& other) = default;
BasicImageProvider& BasicImageProvider::operator=(const BasicImageProvider& other) = default;
BasicImageProvider::~BasicImageProvider() = default;

std::size_t BasicImageProvider::Count()
{
    return images_.size();
}

bool BasicImageProvider::IsEmpty()
{
    return images_.empty();
}

std::shared_ptr<cv::Mat> BasicImageProvider::GetImageAt(std::size_t index)
{
    if (index >= images_.size()) {
        ThrowInvalidSubscript();
    }
    return images_[index];
}

void BasicImageProvider::SetImageAt(std::size_t index, cv::Mat& image)
{
    if (index >= images_.size()) {
        ThrowInvalidSubscript();
    }
    images_[index] = std::make_shared<cv::Mat>(image);
}

void BasicImageProvider::Clear()
{
    images_.clear();
}

void BasicImageProvider::Add(cv::Mat& image)
{
    images_.push_back(std::make_shared<cv::Mat>(image));
}

std::shared_ptr<cv::Mat> BasicImageProvider::GetLastImage()
{
    if (images_.empty()) {
        ThrowInvalidSubscript();
    }
    return images_.back();
}

}  // namespace ZOLT
