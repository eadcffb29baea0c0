#pragma once

// The library's diagnostic lines: every one goes through WriteLine, so that they share one form
// (the text, a line end, a flush) and one place to change it.

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

/// A component's one-line report of a failure or refusal.
inline void ErrorLine(const std::string& text)
{
    WriteLine(Stream::Error, text);
}

/// A notice that the work goes on in another way.
inline void NoticeLine(const std::string& text)
{
    WriteLine(Stream::Output, text);
}

}  // namespace Diagnostics
}  // namespace Stitching
}  // namespace ZOLT
