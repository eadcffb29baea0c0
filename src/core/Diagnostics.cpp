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

void ErrorLine(IStitcherListener* listener, const std::string& text)
{
    if (listener != nullptr) {
        listener->OnMessage(IStitcherListener::ErrorMessage, text);
    } else {
        WriteLine(Stream::Error, text);
    }
}

void NoticeLine(IStitcherListener* listener, const std::string& text)
{
    if (listener != nullptr) {
        listener->OnMessage(IStitcherListener::NoticeMessage, text);
    } else {
        WriteLine(Stream::Output, text);
    }
}

}  // namespace Diagnostics
}  // namespace Stitching
}  // namespace ZOLT
