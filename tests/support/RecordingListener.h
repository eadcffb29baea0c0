#pragma once

// A listener that records every call, for checking the reporting contract.

#include <ZOLT/Core.h>

#include "TestPrinters.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ZOLT {
namespace Testing {

class RecordingListener : public Stitching::IStitcherListener {
public:
    /// Decides each OnProgress answer from the position and the number of earlier calls.
    std::function<bool(int position, std::size_t call)> progressAnswer = [](int, std::size_t) { return true; };
    bool recoverableAnswer = false;

    bool OnProgress(int position) override;
    void OnComplete(bool success) override;
    bool OnError(StitcherErrorCodes code, bool recoverable) override;
    void OnWarning(StitcherWarningCodes code) override;

    std::vector<int> Progress() const;
    std::vector<bool> Completions() const;
    std::vector<StitcherErrorCodes> Errors() const;
    std::vector<StitcherWarningCodes> Warnings() const;
    /// Every call in order, e.g. "progress 50", "error 4", "complete 0", "warning 2".
    std::vector<std::string> Calls() const;

private:
    mutable std::mutex mutex_;
    std::vector<int> progress_;
    std::vector<bool> completions_;
    std::vector<StitcherErrorCodes> errors_;
    std::vector<StitcherWarningCodes> warnings_;
    std::vector<std::string> calls_;
};

}  // namespace Testing
}  // namespace ZOLT
