#include "core/Diagnostics.h"

#include <iostream>

namespace ZOLT {
namespace Stitching {
namespace Diagnostics {

void WriteLine(Stream stream, const std::string& text)
{
    std::ostream& out = stream == Stream::Error ? std::cerr : std::cout;
    out << text << std::endl;
}

}  // namespace Diagnostics
}  // namespace Stitching
}  // namespace ZOLT
