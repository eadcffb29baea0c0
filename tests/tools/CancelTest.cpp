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

using ZOLT::Testing::ScratchFolder;
using ZOLT::Testing::ToolProcess;
using ZOLT::Testing::ToolRun;

namespace {

/// Opens the write end of `fifo` once the tool has opened the read end (that is, once it is
/// busy reading the capture there); -1 when that does not happen in time.
int OpenWhenReaderWaits(const std::string& fifo)
{
    for (int attempt = 0; attempt < 3000; ++attempt) {
        const int descriptor = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (descriptor >= 0) {
            return descriptor;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace

TEST(Cancel, StopSignalEndsTheRunCleanlyWithNothingWritten)
{
    const cv::Mat page = ZOLT::Testing::MakePage(cv::Size(120, 200), 8, false);
    const auto series = ZOLT::Testing::CutSeries(page, cv::Size(120, 90), ZOLT::Testing::VerticalOffsets(2, 30));

    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const ScratchFolder inputs;
        ZOLT::Testing::WriteCaptures({series.captures[0]}, inputs, {"first.png"});
        // The second capture is a pipe: reading it keeps the tool waiting until the test lets go.
        const std::string slow = inputs / "second.png";
        ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
        const ScratchFolder out;
        const ScratchFolder temporary;

        ToolProcess tool({inputs / "first.png", slow, "-o", out / "out.png", "--preview", out / "preview.png",
                          "--memory-limit", "0"},
                         {"TMPDIR=" + temporary.Path().string()});
        const int writer = OpenWhenReaderWaits(slow);
        ASSERT_GE(writer, 0) << "the tool never read the second capture";
        tool.Signal(signal);
        // Give the handler time to run before the read ends.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::close(writer);
        const ToolRun run = tool.Finish();

        EXPECT_EQ(run.exitCode, 130) << run.err;
        EXPECT_NE(run.err.find("cancelled; nothing was written"), std::string::npos) << run.err;
        EXPECT_TRUE(out.Entries().empty());
        EXPECT_TRUE(temporary.Entries().empty()) << "the spill folder was left behind";
    }
}
