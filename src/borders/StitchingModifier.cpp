// The base of every stitcher that wraps another one.

#include <ZOLT/Borders.h>

namespace ZOLT {
namespace Stitching {

StitchingModifier::StitchingModifier() = default;

StitchingModifier::StitchingModifier(const StitchingModifier& other) : IStitcher(other), stitcher_(other.stitcher_)
{
}

StitchingModifier& StitchingModifier::operator=(const StitchingModifier& other)
{
    stitcher_ = other.stitcher_;
    return *this;
}

StitchingModifier::~StitchingModifier()
{
    stitcher_.reset();
}

}  // namespace Stitching
}  // namespace ZOLT
