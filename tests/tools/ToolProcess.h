#pragma once

// Running zolt-stitch as a child process, with its output streams caught in files.

#include "TempFolder.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ZOLT {
namespace Testing {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ToolProcess {
public:
    explicit ToolProcess(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), ZOLT_STITCH_EXECUTABLE);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (streams_ / "out").c_str(), O_WRONLY | O_CREAT, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (streams_ / "err").c_str(), O_WRONLY | O_CREAT, 0600);
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            throw std::runtime_error("cannot start " + arguments[0]);
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    ~ToolProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    void Signal(int signal) const { ::kill(pid_, signal); }

    ToolRun Finish()
    {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Read("out"), Read("err")};
    }

private:
    std::string Read(const std::string& name) const
    {
        std::ostringstream text;
        text << std::ifstream(streams_ / name).rdbuf();
        return text.str();
    }

    pid_t pid_ = -1;
    TempFolder streams_;
};

inline ToolRun RunTool(const std::vector<std::string>& arguments)
{
    return ToolProcess(arguments).Finish();
}

}  // namespace Testing
}  // namespace ZOLT
