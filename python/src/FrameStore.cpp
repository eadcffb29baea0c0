#include "FrameStore.h"

#include <pybind11/pybind11.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace py = pybind11;
namespace fs = std::filesystem;

namespace ZOLT {
namespace Python {

namespace {

[[noreturn]] void Raise(PyObject* type, const std::string& text)
{
    PyErr_SetString(type, text.c_str());
    throw py::error_already_set();
}

void CheckWritableFolder(const std::string& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        Raise(PyExc_NotADirectoryError, "spill_dir '" + folder + "' is not a folder");
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        Raise(PyExc_PermissionError, "spill_dir '" + folder + "' is not writable");
    }
}

/// The store puts its file names right after the folder.
std::string Prefix(const fs::path& folder)
{
    std::string prefix = folder.string();
    if (prefix.empty() || prefix.back() != fs::path::preferred_separator) {
        prefix += fs::path::preferred_separator;
    }
    return prefix;
}

}  // namespace

TemporaryFolder::TemporaryFolder()
{
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) {
        Raise(PyExc_OSError, "no temporary folder for spill files: " + error.message());
    }
    std::string name = (base / "zolt-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) {
        Raise(PyExc_OSError, "cannot make a spill folder in '" + base.string() + "': " + std::strerror(errno));
    }
    path_ = name;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

FrameStore::FrameStore(const StitchOptions& options)
{
    if (!options.bounded) {
        inMemory_ = std::make_unique<BasicImageProvider>();
        return;
    }
    fs::path folder = options.spillFolder;
    if (folder.empty()) {
        folder = created_.emplace().Path();
    } else {
        CheckWritableFolder(options.spillFolder);
    }
    bounded_ = std::make_unique<Stitching::MemoryEfficientImageProvider>(Prefix(folder), options.memoryLimitBytes);
}

void FrameStore::Add(cv::Mat& capture)
{
    if (bounded_) {
        bounded_->Add(capture);
    } else {
        inMemory_->Add(capture);
    }
}

IImageProvider& FrameStore::Provider()
{
    if (bounded_) {
        return *bounded_;
    }
    return *inMemory_;
}

OverlayProvider::OverlayProvider(IImageProvider& captures, const StitchOptions& options)
    : captures_(captures), scratch_(options)
{
}

std::size_t OverlayProvider::Count()
{
    return captures_.Count();
}

bool OverlayProvider::IsEmpty()
{
    return captures_.IsEmpty();
}

std::shared_ptr<cv::Mat> OverlayProvider::GetImageAt(std::size_t index)
{
    const auto found = replaced_.find(index);
    return found == replaced_.end() ? captures_.GetImageAt(index) : scratch_.Provider().GetImageAt(found->second);
}

void OverlayProvider::SetImageAt(std::size_t index, cv::Mat& image)
{
    const auto found = replaced_.find(index);
    if (found != replaced_.end()) {
        scratch_.Provider().SetImageAt(found->second, image);
        return;
    }
    if (index >= captures_.Count()) {
        throw std::out_of_range("invalid vector subscript");
    }
    scratch_.Add(image);
    replaced_.emplace(index, replaced_.size());
}

}  // namespace Python
}  // namespace ZOLT
