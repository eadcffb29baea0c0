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

    bool OnProgress(int position) override
    {
        return progressAnswer(position, Record(progress_, position, "progress " + std::to_string(position)));
    }
    void OnComplete(bool success) override { Record(completions_, success, "complete " + std::to_string(success)); }
    bool OnError(StitcherErrorCodes code, bool recoverable) override
    {
        Record(errors_, code, "error " + std::to_string(code) + (recoverable ? " recoverable" : ""));
        return recoverableAnswer;
    }
    void OnWarning(StitcherWarningCodes code) override { Record(warnings_, code, "warning " + std::to_string(code)); }

    std::vector<int> Progress() const { return Copy(progress_); }
    std::vector<bool> Completions() const { return Copy(completions_); }
    std::vector<StitcherErrorCodes> Errors() const { return Copy(errors_); }
    std::vector<StitcherWarningCodes> Warnings() const { return Copy(warnings_); }
    /// Every call in order, e.g. "progress 50", "error 4", "complete 0", "warning 2".
    std::vector<std::string> Calls() const { return Copy(calls_); }
    /// The calls joined by ", ".
    std::string Log() const
    {
        std::string log;
        for (const std::string& call : Calls()) {
            log += (log.empty() ? "" : ", ") + call;
        }
        return log;
    }

private:
    /// Appends under the lock; returns how many values the list held before.
    template <typename T>
    std::size_t Record(std::vector<T>& list, T value, std::string call)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        list.push_back(value);
        calls_.push_back(std::move(call));
        return list.size() - 1;
    }
    template <typename T>
    std::vector<T> Copy(const std::vector<T>& list) const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return list;
    }

    mutable std::mutex mutex_;
    std::vector<int> progress_;
    std::vector<bool> completions_;
    std::vector<StitcherErrorCodes> errors_;
    std::vector<StitcherWarningCodes> warnings_;
    std::vector<std::string> calls_;
};

}  // namespace Testing
}  // namespace ZOLT
