#include "PyListener.h"

namespace ZOLT {
namespace Python {

bool PyListener::OnProgress(int position)
{
    position_ = position;
    return !cancelled_;
}

void PyListener::OnComplete(bool)
{
    // The stitch's own answer carries the outcome.
}

bool PyListener::OnError(StitcherErrorCodes code, bool recoverable)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = code;
    if (recoverable && code == BorderApplicationFailed) {
        bordersDropped_ = true;
        return true;
    }
    return false;
}

void PyListener::OnWarning(StitcherWarningCodes code)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ++warnings_[code];
}

void PyListener::OnMessage(MessageSeverity severity, const std::string& text)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({severity, text});
}

Stitching::IStitcherListener::StitcherErrorCodes PyListener::LastError() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

bool PyListener::BordersDropped() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return bordersDropped_;
}

std::map<Stitching::IStitcherListener::StitcherWarningCodes, std::size_t> PyListener::Warnings() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return warnings_;
}

std::vector<PyListener::Message> PyListener::Messages() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void PyListener::Clear()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    lastError_ = NoError;
    bordersDropped_ = false;
    warnings_.clear();
    messages_.clear();
    position_ = -1;
}

}  // namespace Python
}  // namespace ZOLT
