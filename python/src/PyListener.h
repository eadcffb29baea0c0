#pragma once

// The listener a stitch from Python reports to. The library calls it on its worker threads, so it
// never touches Python: it keeps the latest position, answers a cancel flag, and records the
// errors, warnings and lines that the calling thread turns into exceptions and warnings.

#include <ZOLT/Core.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ZOLT {
namespace Python {

class PyListener : public Stitching::IStitcherListener {
public:
    struct Message {
        MessageSeverity severity;
        std::string text;
    };

    bool OnProgress(int position) override;
    void OnComplete(bool success) override;
    /// A recoverable error (borders found but not put back) is accepted: the content without its
    /// borders is still worth having, and a warning says so.
    bool OnError(StitcherErrorCodes code, bool recoverable) override;
    void OnWarning(StitcherWarningCodes code) override;
    void OnMessage(MessageSeverity severity, const std::string& text) override;

    /// Makes every later OnProgress answer false.
    void Cancel() { cancelled_ = true; }
    bool CancelRequested() const { return cancelled_; }
    /// The latest position reported, -1 before the first.
    int Position() const { return position_; }

    StitcherErrorCodes LastError() const;
    bool BordersDropped() const;
    /// How often each warning was reported.
    std::map<StitcherWarningCodes, std::size_t> Warnings() const;
    std::vector<Message> Messages() const;
    /// Forgets the errors, warnings and lines recorded so far, for the next operation.
    void Clear();

private:
    std::atomic<int> position_{-1};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    StitcherErrorCodes lastError_ = NoError;
    bool bordersDropped_ = false;
    std::map<StitcherWarningCodes, std::size_t> warnings_;
    std::vector<Message> messages_;
};

}  // namespace Python
}  // namespace ZOLT
