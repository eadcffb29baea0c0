// MemoryEfficientImageProvider, the store: every operation but the spill-file ones
// (GetTempFileName, SaveMat, LoadMat), which are in SpillFiles.cpp.
//
// A capture store under a byte budget: the least recently used captures are spilled to files
// and read back when asked for again.

#include <ZOLT/Providers.h>

#include "core/LargeBuffers.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace ZOLT {
namespace Stitching {

namespace {

constexpr std::size_t DEFAULT_MEMORY_LIMIT = 200 * 1024 * 1024;
constexpr std::uint32_t NAME_LENGTH = 24;

using Lock = std::lock_guard<std::recursive_mutex>;

/// Deletes a spill file; a file that is already gone, or cannot be deleted, is forgotten all the same.
void DeleteSpillFile(std::string& path)
{
    std::remove(path.c_str());
    path.clear();
}

}  // namespace

const std::uint32_t MemoryEfficientImageProvider::MINIMUM_LOADED_IMAGES = 2;

MemoryEfficientImageProvider::MemoryEfficientImageProvider(const std::string& folderPath)
    : MemoryEfficientImageProvider(folderPath, DEFAULT_MEMORY_LIMIT)
{
}

MemoryEfficientImageProvider::MemoryEfficientImageProvider(const std::string& folderPath, std::size_t memoryLimit)
    : memoryLimit_(memoryLimit), nameLength_(NAME_LENGTH), folderPath_(folderPath)
{
}

MemoryEfficientImageProvider::~MemoryEfficientImageProvider()
{
    Clear();
}

std::size_t MemoryEfficientImageProvider::Count()
{
    const Lock lock(mutex_);
    return records_.size();
}

bool MemoryEfficientImageProvider::IsEmpty()
{
    const Lock lock(mutex_);
    return records_.empty();
}

std::shared_ptr<cv::Mat> MemoryEfficientImageProvider::GetImageAt(std::size_t index)
{
    const Lock lock(mutex_);
    CheckIndex(index);
    if (!IsMatLoaded(index)) {
        ReloadMat(index);
    }
    MoveToBackOfLoadQueue(index);
    return records_[index].matrix;
}

void MemoryEfficientImageProvider::SetImageAt(std::size_t index, cv::Mat& image)
{
    const Lock lock(mutex_);
    CheckIndex(index);
    auto replacement = std::make_shared<cv::Mat>(image);

    ImageRecord& record = records_[index];
    if (IsMatSaved(index)) {
        DeleteSpillFile(record.filePath);
    }
    record.matrix.reset();
    // Out of the queue before the budget check, so the spill can never pick this record.
    RemoveFromLoadQueue(index);
    ApplyBudgetRule(image);
    record.matrix = std::move(replacement);
    loadQueue_.push_back(index);
}

void MemoryEfficientImageProvider::Clear()
{
    const Lock lock(mutex_);
    for (ImageRecord& record : records_) {
        if (!record.filePath.empty()) {
            DeleteSpillFile(record.filePath);
        }
    }
    records_.clear();
    loadQueue_.clear();
}

void MemoryEfficientImageProvider::Add(cv::Mat& image)
{
    const Lock lock(mutex_);
    auto stored = std::make_shared<cv::Mat>(image);
    ApplyBudgetRule(image);
    records_.push_back(ImageRecord{std::string(), std::move(stored)});
    loadQueue_.push_back(records_.size() - 1);
}

std::shared_ptr<cv::Mat> MemoryEfficientImageProvider::GetLastImage()
{
    const Lock lock(mutex_);
    if (records_.empty()) {
        throw std::out_of_range("invalid vector subscript");
    }
    return GetImageAt(records_.size() - 1);
}

std::string MemoryEfficientImageProvider::GetFolderPath()
{
    return folderPath_;
}

std::size_t MemoryEfficientImageProvider::GetMemoryUsage() const
{
    const Lock lock(mutex_);
    std::size_t usage = 0;
    for (const ImageRecord& record : records_) {
        if (record.matrix) {
            usage += GetMatrixMemory(*record.matrix);
        }
    }
    return usage;
}

std::size_t MemoryEfficientImageProvider::GetMatrixMemory(const cv::Mat& image) const
{
    // The logical area counts, not the buffer behind a view; no dimensions count 0.
    return image.dims > 0 ? image.total() * image.elemSize() : 0;
}

bool MemoryEfficientImageProvider::UnloadMat()
{
    const Lock lock(mutex_);
    if (loadQueue_.empty()) {
        return false;
    }
    const std::size_t index = loadQueue_.front();
    if (!IsMatLoaded(index)) {
        loadQueue_.pop_front();
        return false;
    }
    ImageRecord& record = records_[index];
    if (!IsMatSaved(index)) {
        // A record that already has a file keeps it: the file still equals the image.
        std::string path = GetTempFileName();
        if (!SaveMat(*record.matrix, path)) {
            return false;
        }
        record.filePath = std::move(path);
    }
    record.matrix.reset();
    loadQueue_.pop_front();
    return true;
}

bool MemoryEfficientImageProvider::IsMatLoaded(std::size_t index)
{
    const Lock lock(mutex_);
    CheckIndex(index);
    return records_[index].matrix != nullptr;
}

bool MemoryEfficientImageProvider::IsMatSaved(std::size_t index)
{
    const Lock lock(mutex_);
    CheckIndex(index);
    return !records_[index].filePath.empty();
}

void MemoryEfficientImageProvider::ApplyBudgetRule(const cv::Mat& incoming)
{
    const std::size_t total = GetMemoryUsage() + GetMatrixMemory(incoming);
    if (total > memoryLimit_ && loadQueue_.size() >= MINIMUM_LOADED_IMAGES) {
        // A failed spill keeps the image in memory; the limit is soft.
        UnloadMat();
    }
}

void MemoryEfficientImageProvider::ReloadMat(std::size_t index)
{
    // Read back many times per stitch: its buffer goes straight back to the system when freed.
    cv::Mat image;
    UseLargeBufferAllocator(image);
    LoadMat(image, records_[index].filePath);
    auto reloaded = std::make_shared<cv::Mat>(image);
    ApplyBudgetRule(image);
    records_[index].matrix = std::move(reloaded);
}

void MemoryEfficientImageProvider::RemoveFromLoadQueue(std::size_t index)
{
    loadQueue_.erase(std::remove(loadQueue_.begin(), loadQueue_.end(), index), loadQueue_.end());
}

void MemoryEfficientImageProvider::MoveToBackOfLoadQueue(std::size_t index)
{
    RemoveFromLoadQueue(index);
    loadQueue_.push_back(index);
}

void MemoryEfficientImageProvider::CheckIndex(std::size_t index) const
{
    if (index >= records_.size()) {
        throw std::out_of_range("invalid vector subscript");
    }
}

}  // namespace Stitching
}  // namespace ZOLT
