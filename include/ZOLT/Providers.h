#pragma once

// Capture stores: wholly in memory, or bounded in memory with spill files on disk.

#include <ZOLT/Core.h>

#include <deque>
#include <mutex>
#include <string>

namespace ZOLT {

/// Keeps every capture in memory, in the order added.
///
/// Captures are stored as header copies: the provider and the caller share pixel buffers.
/// Concurrent reads are safe; a call that changes the store must not overlap any other call.
class ZOLT_STITCHING_API BasicImageProvider : public IImageProvider {
public:
    BasicImageProvider();
    BasicImageProvider(const BasicImageProvider& other);
    BasicImageProvider& operator=(const BasicImageProvider& other);
    ~BasicImageProvider() override;

    std::size_t Count() override;
    bool IsEmpty() override;
    /// The stored capture itself (the same object on every call); throws std::out_of_range
    /// ("invalid vector subscript") for an index not below Count().
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override;
    /// Throws std::out_of_range for an index not below Count().
    void SetImageAt(std::size_t index, cv::Mat& image) override;

    virtual void Clear();
    virtual void Add(cv::Mat& image);
    /// Throws std::out_of_range when the provider is empty.
    virtual std::shared_ptr<cv::Mat> GetLastImage();

private:
    std::vector<std::shared_ptr<cv::Mat>> images_;
};

namespace Stitching {

/// A capture store that keeps its pixels under a byte budget, spilling the least recently used
/// captures to raw files in a folder the host names and reading them back on demand.
///
/// The folder path is used as a prefix for spill-file names: end it with a path separator.
/// Every operation is serialised by one recursive mutex; indices at or beyond Count() throw
/// std::out_of_range. The provider deletes its spill files when cleared or destroyed.
class ZOLT_STITCHING_API MemoryEfficientImageProvider : public IImageProvider {
public:
    explicit MemoryEfficientImageProvider(const std::string& folderPath);
    MemoryEfficientImageProvider(const std::string& folderPath, std::size_t memoryLimit);
    MemoryEfficientImageProvider(const MemoryEfficientImageProvider&) = delete;
    MemoryEfficientImageProvider& operator=(const MemoryEfficientImageProvider&) = delete;
    ~MemoryEfficientImageProvider() override;

    std::size_t Count() override;
    bool IsEmpty() override;
    /// The capture at `index`, read back from its spill file first if it was spilled; throws
    /// std::runtime_error("Could not open or read file.") when that file cannot be read.
    std::shared_ptr<cv::Mat> GetImageAt(std::size_t index) override;
    void SetImageAt(std::size_t index, cv::Mat& image) override;

    virtual void Clear();
    virtual void Add(cv::Mat& image);
    virtual std::shared_ptr<cv::Mat> GetLastImage();

    std::string GetFolderPath();

protected:
    std::size_t GetMemoryUsage() const;
    std::size_t GetMatrixMemory(const cv::Mat& image) const;
    bool UnloadMat();
    void LoadMat(cv::Mat& image, const std::string& path);
    bool SaveMat(cv::Mat& image, const std::string& path);
    std::string GetTempFileName();
    bool IsMatLoaded(std::size_t index);
    bool IsMatSaved(std::size_t index);

private:
    struct ImageRecord {
        std::string filePath;
        std::shared_ptr<cv::Mat> matrix;
    };

    static const std::uint32_t MINIMUM_LOADED_IMAGES;

    /// Spills the least recently used image when `incoming` would take the loaded images past
    /// the memory limit; at most one spill, and never below MINIMUM_LOADED_IMAGES loaded.
    void ApplyBudgetRule(const cv::Mat& incoming);
    /// Reads record `index` back from its spill file; the file stays recorded.
    void ReloadMat(std::size_t index);
    void RemoveFromLoadQueue(std::size_t index);
    void MoveToBackOfLoadQueue(std::size_t index);
    void CheckIndex(std::size_t index) const;

    const std::size_t memoryLimit_;
    const std::uint32_t nameLength_;
    const std::string folderPath_;
    std::deque<std::size_t> loadQueue_;
    std::vector<ImageRecord> records_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace Stitching
}  // namespace ZOLT
