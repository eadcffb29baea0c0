#include <ZOLT/Core.h>

#include "core/Diagnostics.h"

// Out-of-line destructors give each interface one home for its virtual table.
namespace ZOLT {

IImageProvider::~IImageProvider() = default;

namespace Stitching {

IStitcherListener::~IStitcherListener() = default;

void IStitcherListener::OnMessage(MessageSeverity severity, const std::string& text)
{
    Diagnostics::WriteLine(severity == NoticeMessage ? Diagnostics::Stream::Output : Diagnostics::Stream::Error, text);
}
IStitcher::~IStitcher() = default;
ITranslationDetector::~ITranslationDetector() = default;

}  // namespace Stitching
}  // namespace ZOLT
