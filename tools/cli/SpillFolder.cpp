#include "SpillFolder.h"

#include "ExitCodes.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace ZOLT {
namespace Cli {

namespace {

namespace fs = std::filesystem;

fs::path MakePrivateTemporaryFolder()
{
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) {
        throw ToolError(ExitCode::OutputError, "no temporary folder for spill files: " + error.message());
    }
    const std::string pattern = (base / "zolt-stitch-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw ToolError(ExitCode::OutputError,
                        "cannot make a spill folder in '" + base.string() + "': " + std::strerror(errno));
    }
    return fs::path(name.data());
}

void CheckWritableFolder(const std::string& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw ToolError(ExitCode::OutputError, "spill folder '" + folder + "' is not a folder");
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw ToolError(ExitCode::OutputError, "spill folder '" + folder + "' is not writable");
    }
}

std::string WithSeparator(const std::string& folder)
{
    if (!folder.empty() && folder.back() == fs::path::preferred_separator) {
        return folder;
    }
    return folder + static_cast<char>(fs::path::preferred_separator);
}

}  // namespace

SpillFolder::SpillFolder(const std::string& folder)
{
    if (folder.empty()) {
        created_ = MakePrivateTemporaryFolder();
        prefix_ = WithSeparator(created_.string());
    } else {
        CheckWritableFolder(folder);
        prefix_ = WithSeparator(folder);
    }
}

SpillFolder::~SpillFolder()
{
    if (!created_.empty()) {
        std::error_code ignored;
        fs::remove_all(created_, ignored);
    }
}

}  // namespace Cli
}  // namespace ZOLT
