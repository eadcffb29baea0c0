#pragma once

// The library's diagnostic lines. A line that belongs to an operation with a listener goes to
// that listener's OnMessage; every other one is written by WriteLine, so that they share one
// form (the text, a line end, a flush) and one place to change it.

#include <ZOLT/Core.h>

#include <string>

namespace ZOLT {
namespace Stitching {
namespace Diagnostics {

enum class Stream {
    /// The standard error stream: failures and refusals.
    Error,
    /// The standard output stream: the border decorator's notices.
    Output,
};

void WriteLine(Stream stream, const std::string& text);

/// A component's one-line report of a failure or refusal, to `listener` when there is one.
void ErrorLine(IStitcherListener* listener, const std::string& text);

/// A notice that the work goes on in another way, to `listener` when there is one.
void NoticeLine(IStitcherListener* listener, const std::string& text);

/// The lines of components that no listener reaches.
inline void ErrorLine(const std::string& text)
{
    ErrorLine(nullptr, text);
}

inline void NoticeLine(const std::string& text)
{
    NoticeLine(nullptr, text);
}

}  // namespace Diagnostics
}  // namespace Stitching
}  // namespace ZOLT
