#pragma once

// The folder that the memory-bounded store spills captures into.

#include <filesystem>
#include <string>

namespace ZOLT {
namespace Cli {

class SpillFolder {
public:
    /// Uses `folder` when one is named (it must be a writable folder; it is kept afterwards),
    /// otherwise makes a fresh private folder under the system's temporary folder, which the
    /// destructor removes with everything left in it. Throws ToolError (output error).
    explicit SpillFolder(const std::string& folder);
    SpillFolder(const SpillFolder&) = delete;
    SpillFolder& operator=(const SpillFolder&) = delete;
    ~SpillFolder();

    /// The folder followed by a separator: the store puts file names right after it.
    const std::string& Prefix() const { return prefix_; }

private:
    /// The folder this object made and removes; empty for a folder the user named.
    std::filesystem::path created_;
    std::string prefix_;
};

}  // namespace Cli
}  // namespace ZOLT
