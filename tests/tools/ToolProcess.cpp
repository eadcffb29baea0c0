#include "ToolProcess.h"

#include "CaptureLoading.h"

#include <opencv2/imgcodecs.hpp>

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

std::string ReadWhole(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

/// Pointers to the strings, ended by a null pointer, as exec takes them.
std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    std::vector<std::string> all{ZOLT_STITCH_EXECUTABLE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        variables.emplace_back(*entry);
    }
    std::vector<char*> argv = Pointers(all);
    std::vector<char*> envp = Pointers(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (streams_ / "out").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (streams_ / "err").c_str(), O_WRONLY | O_CREAT, 0600);
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
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadWhole(streams_ / "out"),
                   ReadWhole(streams_ / "err")};
}

void WriteCaptures(const std::vector<cv::Mat>& captures, const TempFolder& folder, const std::vector<std::string>& names)
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

}  // namespace Testing
}  // namespace ZOLT
