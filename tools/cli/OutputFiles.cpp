#include "OutputFiles.h"

#include "Cancellation.h"
#include "ExitCodes.h"

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZOLT {
namespace Cli {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void FailOutput(const std::string& message)
{
    throw ToolError(ExitCode::OutputError, message);
}

fs::path FolderOf(const std::string& target)
{
    const fs::path folder = fs::path(target).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

/// A descriptor closed when the scope ends, unless it was closed and checked before.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }

    int Get() const { return descriptor_; }

    bool Close()
    {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return ::close(descriptor) == 0;
    }

private:
    int descriptor_;
};

bool WriteAll(int descriptor, const std::vector<unsigned char>& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

/// mkstemp makes files readable by the owner only; give the result the usual permissions.
void ApplyUsualPermissions(int descriptor)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(descriptor, static_cast<mode_t>(0666 & ~mask));
}

}  // namespace

PendingFile::PendingFile(const std::string& target, const std::vector<unsigned char>& bytes) : target_(target)
{
    const std::string pattern = (FolderOf(target) / ("." + fs::path(target).filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor file(::mkstemp(name.data()));
    if (file.Get() < 0) {
        FailOutput("cannot write '" + target + "': " + std::strerror(errno));
    }
    temporary_ = name.data();
    ApplyUsualPermissions(file.Get());
    const bool written = WriteAll(file.Get(), bytes) && ::fsync(file.Get()) == 0;
    int error = errno;
    const bool closed = file.Close();
    if (written && !closed) {
        error = errno;
    }
    if (!written || !closed) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        FailOutput("cannot write '" + target + "': " + std::strerror(error));
    }
}

PendingFile::~PendingFile()
{
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
}

void PendingFile::Commit()
{
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        FailOutput("cannot write '" + target_ + "': " + std::strerror(errno));
    }
    temporary_.clear();
}

void CheckWritableTarget(const std::string& target)
{
    if (target == STANDARD_OUTPUT) {
        return;
    }
    std::error_code error;
    if (fs::is_directory(target, error)) {
        FailOutput("'" + target + "' is a folder, not a file name");
    }
    const fs::path folder = FolderOf(target);
    if (!fs::is_directory(folder, error)) {
        FailOutput("cannot write '" + target + "': folder '" + folder.string() + "' does not exist");
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        FailOutput("cannot write '" + target + "': folder '" + folder.string() + "' is not writable");
    }
}

std::vector<unsigned char> EncodeImage(const std::string& target, const cv::Mat& capture)
{
    std::vector<unsigned char> bytes;
    bool encoded = false;
    try {
        const std::string format = target == STANDARD_OUTPUT ? ".png" : fs::path(target).extension().string();
        encoded = cv::imencode(format, ToFileChannelOrder(capture), bytes);
    } catch (const cv::Exception& exception) {
        FailOutput("cannot encode '" + target + "': " + exception.err);
    }
    if (!encoded) {
        FailOutput("cannot encode '" + target + "'");
    }
    return bytes;
}

void WriteOutputFiles(const std::vector<OutputFile>& files)
{
    std::vector<std::unique_ptr<PendingFile>> pending;
    const OutputFile* standardOutput = nullptr;
    for (const OutputFile& file : files) {
        if (file.target == STANDARD_OUTPUT) {
            standardOutput = &file;
        } else {
            pending.push_back(std::make_unique<PendingFile>(file.target, file.bytes));
        }
    }
    if (CancelRequested()) {
        StopCancelled();
    }
    for (const std::unique_ptr<PendingFile>& file : pending) {
        file->Commit();
    }
    if (standardOutput != nullptr && !WriteAll(STDOUT_FILENO, standardOutput->bytes)) {
        FailOutput(std::string("cannot write the image to standard output: ") + std::strerror(errno));
    }
}

std::string TranslationsJson(std::size_t captures, const std::vector<Stitching::Translation>& translations)
{
    nlohmann::ordered_json steps = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < translations.size(); ++i) {
        steps.push_back(
            {{"from", i}, {"to", i + 1}, {"rows", translations[i].GetRows()}, {"cols", translations[i].GetCols()}});
    }
    const nlohmann::ordered_json document = {{"captures", captures}, {"translations", steps}};
    return document.dump(2) + "\n";
}

cv::Mat ToFileChannelOrder(const cv::Mat& capture)
{
    cv::Mat image;
    cv::cvtColor(capture, image, cv::COLOR_RGBA2BGRA);
    return image;
}

void CheckOutputTargets(const std::string& output, const CommonOptions& options)
{
    for (const std::string* target : {&output, &options.previewFile, &options.translationsFile}) {
        if (!target->empty()) {
            CheckWritableTarget(*target);
        }
    }
}

std::vector<OutputFile> EncodeOutputs(const std::string& output, const CommonOptions& options, const cv::Mat& image,
                                      const std::vector<Stitching::Translation>& translations, std::size_t captures,
                                      Stitching::PreviewImage* preview)
{
    std::vector<OutputFile> files;
    files.push_back({output, EncodeImage(output, image)});
    if (preview != nullptr) {
        files.push_back({options.previewFile, EncodeImage(options.previewFile, preview->GetPreview())});
    }
    if (!options.translationsFile.empty()) {
        const std::string json = TranslationsJson(captures, translations);
        files.push_back({options.translationsFile, std::vector<unsigned char>(json.begin(), json.end())});
    }
    return files;
}

}  // namespace Cli
}  // namespace ZOLT
