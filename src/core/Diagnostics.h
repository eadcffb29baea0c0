#pragma once

#include <iostream>

namespace ZOLT {
namespace Stitching {
namespace Diagnostics {

/// A component's one-line report on the standard error stream: line end and flush.
inline void ErrorLine(const char* text)
{
    std::cerr << text << std::endl;
}

}  // namespace Diagnostics
}  // namespace Stitching
}  // namespace ZOLT
