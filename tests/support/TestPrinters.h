#pragma once

// Readable failure messages for the library's value types.

#include <ZOLT/Core.h>

#include <ostream>

namespace ZOLT {
namespace Stitching {

inline void PrintTo(const Translation& translation, std::ostream* out)
{
    *out << "(" << translation.GetRows() << ", " << translation.GetCols() << ")";
}

}  // namespace Stitching
}  // namespace ZOLT
