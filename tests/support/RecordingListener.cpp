#include "RecordingListener.h"

namespace ZOLT {
namespace Testing {

bool RecordingListener::OnProgress(int position)
{
    std::size_t call = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        call = progress_.size();
        progress_.push_back(position);
        calls_.push_back("progress " + std::to_string(position));
    }
    return progressAnswer(position, call);
}

void RecordingListener::OnComplete(bool success)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    completions_.push_back(success);
    calls_.push_back("complete " + std::to_string(success ? 1 : 0));
}

bool RecordingListener::OnError(StitcherErrorCodes code, bool recoverable)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(code);
    calls_.push_back("error " + std::to_string(static_cast<int>(code)) + (recoverable ? " recoverable" : ""));
    return recoverableAnswer;
}

void RecordingListener::OnWarning(StitcherWarningCodes code)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    warnings_.push_back(code);
    calls_.push_back("warning " + std::to_string(static_cast<int>(code)));
}

std::vector<int> RecordingListener::Progress() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

std::vector<bool> RecordingListener::Completions() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return completions_;
}

std::vector<Stitching::IStitcherListener::StitcherErrorCodes> RecordingListener::Errors() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

std::vector<Stitching::IStitcherListener::StitcherWarningCodes> RecordingListener::Warnings() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return warnings_;
}

std::vector<std::string> RecordingListener::Calls() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

}  // namespace Testing
}  // namespace ZOLT
