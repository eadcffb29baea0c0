#include <ZOLT/Core.h>

// Out-of-line destructors give each interface one home for its virtual table.
namespace ZOLT {

IImageProvider::~IImageProvider() = default;

namespace Stitching {

IStitcherListener::~IStitcherListener() = default;
IStitcher::~IStitcher() = default;
ITranslationDetector::~ITranslationDetector() = default;

}  // namespace Stitching
}  // namespace ZOLT
