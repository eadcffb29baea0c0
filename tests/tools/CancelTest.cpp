// Ctrl-C and SIGTERM stop zolt-stitch cleanly: its own exit code, no output, no spill folder.

#include "ToolProcess.h"

#include "SyntheticCaptures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZOLT {
namespace Testing {
namespace {

TEST(Cancel, StopSignalEndsTheRunCleanlyWithNothingWritten)
{
    const cv::Mat page = MakePage(cv::Size(120, 200), 8, false);
    const cv::Mat first = CutSeries(page, cv::Size(120, 90), VerticalOffsets(1, 0)).captures[0];
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const TempFolder inputs;
        WriteCaptures({first}, inputs, {"first.png"});
        // The second capture is a pipe: reading it keeps the tool waiting until the test lets go.
        const std::string slow = inputs / "second.png";
        ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
        const TempFolder out;
        const TempFolder temporary;
        ToolProcess tool({inputs / "first.png", slow, "-o", out / "out.png", "--preview", out / "preview.png",
                          "--memory-limit", "0"},
                         {"TMPDIR=" + temporary.Path().string()});
        // Open the write end once the tool has opened the read end, that is, once it is busy there.
        int writer = -1;
        for (int attempt = 0; attempt < 3000 && writer < 0; ++attempt) {
            writer = ::open(slow.c_str(), O_WRONLY | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(writer < 0 ? 10 : 0));
        }
        ASSERT_GE(writer, 0) << "the tool never read the second capture";
        tool.Signal(signal);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the handler runs before the read ends
        ::close(writer);
        const ToolRun run = tool.Finish();
        EXPECT_EQ(run.exitCode, 130) << run.err;
        EXPECT_NE(run.err.find("cancelled; nothing was written"), std::string::npos) << run.err;
        EXPECT_TRUE(out.Entries().empty());
        EXPECT_TRUE(temporary.Entries().empty()) << "the spill folder was left behind";
    }
}

}  // namespace
}  // namespace Testing
}  // namespace ZOLT
