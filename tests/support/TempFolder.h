#pragma once

// A fresh folder under the system temporary directory for one test, removed with everything in
// it when the test ends.

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace ZOLT {
namespace Testing {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zolt-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::filesystem::filesystem_error("mkdtemp failed", std::error_code(errno, std::generic_category()));
        }
        folder_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const std::filesystem::path& Path() const { return folder_; }
    /// The folder with a trailing separator, as the memory-bounded provider takes it.
    std::string Prefix() const { return (folder_ / "").string(); }
    std::string operator/(const std::string& name) const { return (folder_ / name).string(); }

    /// The names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path folder_;
};

}  // namespace Testing
}  // namespace ZOLT
