#pragma once

// Writing the tool's files so that a name only ever shows complete content.

#include "CommonOptions.h"

#include <ZOLT/Core.h>
#include <ZOLT/Preview.h>

#include <string>
#include <vector>

namespace ZOLT {
namespace Cli {

/// The output name that stands for standard output: the image goes there as PNG.
constexpr const char* STANDARD_OUTPUT = "-";

/// Content written under a temporary name in the target's own folder, and moved to the target
/// name by Commit, which replaces an existing file in one step. Until then the target is
/// untouched; an uncommitted file is removed by the destructor.
class PendingFile {
public:
    /// Writes and syncs `bytes`; throws ToolError (output error) when that fails.
    PendingFile(const std::string& target, const std::vector<unsigned char>& bytes);
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    /// Moves the file to its target name; throws ToolError (output error) when that fails.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
};

/// Checks before any work is done that `target` can be written: its folder exists and is
/// writable and the name is not a folder. Throws ToolError (output error).
void CheckWritableTarget(const std::string& target);

/// Turns a capture (red, green, blue, alpha) into the channel order that image files are
/// written in, keeping alpha.
cv::Mat ToFileChannelOrder(const cv::Mat& capture);

/// Encodes a capture (red, green, blue, alpha) in the format the target's extension names (PNG
/// for standard output). Throws ToolError (output error) when it cannot be encoded.
std::vector<unsigned char> EncodeImage(const std::string& target, const cv::Mat& capture);

/// The translations as JSON: {"captures": n, "translations": [{"from": 0, "to": 1,
/// "rows": -120, "cols": 0}, ...]}.
std::string TranslationsJson(std::size_t captures, const std::vector<Stitching::Translation>& translations);

/// One file of a run's output.
struct OutputFile {
    std::string target;
    std::vector<unsigned char> bytes;
};

/// Fails before any work when a file of the run could not be written in the end: `output`, the
/// preview or the translations. Throws ToolError (output error).
void CheckOutputTargets(const std::string& output, const CommonOptions& options);

/// A finished run's files, encoded: the image as `output`, the preview when one is given, the
/// translations when the options ask for them. Throws ToolError (output error).
std::vector<OutputFile> EncodeOutputs(const std::string& output, const CommonOptions& options, const cv::Mat& image,
                                      const std::vector<Stitching::Translation>& translations, std::size_t captures,
                                      Stitching::PreviewImage* preview);

/// Writes every file under a temporary name first and gives them their names only when all
/// were written and no stop was requested, so a run leaves all its files or none of them. A
/// file for standard output is written last, once the others have their names. Throws
/// ToolError (output error, or cancelled).
void WriteOutputFiles(const std::vector<OutputFile>& files);

}  // namespace Cli
}  // namespace ZOLT
