#include "ToolProcess.h"

#include "CaptureLoading.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ZOLT {
namespace Testing {

namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

fs::path MakeTemporaryFolder()
{
    std::string pattern = (fs::temp_directory_path() / "zolt-stitch-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    return pattern;
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    const fs::path folder = MakeTemporaryFolder();
    outFile_ = folder / "out";
    errFile_ = folder / "err";

    std::vector<std::string> all{ZOLT_STITCH_EXECUTABLE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        variables.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + all[0]);
    }
}

ToolProcess::~ToolProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(outFile_.parent_path(), ignored);
}

void ToolProcess::Signal(int signal) const
{
    ::kill(pid_, signal);
}

ToolRun ToolProcess::Finish()
{
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadWhole(outFile_);
    run.err = ReadWhole(errFile_);
    return run;
}

ToolRun RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    return ToolProcess(arguments, environment).Finish();
}

ScratchFolder::ScratchFolder() : path_(MakeTemporaryFolder()) {}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::Entries() const
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteCaptures(const std::vector<cv::Mat>& captures, const ScratchFolder& folder,
                   const std::vector<std::string>& names)
{
    for (std::size_t i = 0; i < captures.size(); ++i) {
        if (!cv::imwrite(folder / names.at(i), StitchTool::ToFileChannelOrder(captures[i]))) {
            throw std::runtime_error("cannot write " + names.at(i));
        }
    }
}

cv::Mat ReadCapture(const std::string& path)
{
    return StitchTool::LoadCapture(path);
}

bool SameImage(const cv::Mat& left, const cv::Mat& right)
{
    if (left.size() != right.size() || left.type() != right.type()) {
        return false;
    }
    return left.empty() || cv::norm(left, right, cv::NORM_INF) == 0.0;
}

}  // namespace Testing
}  // namespace ZOLT
