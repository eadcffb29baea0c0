#pragma once

#include <ZOLT/Core.h>

#include <vector>

namespace ZOLT {
namespace Stitching {

/// Replaces a pair's result by its alternative when the alternative agrees with the (possibly
/// already replaced) result of the pair before; entry 0 is never replaced.
void ApplyConsistencyRule(std::vector<Translation>& results, const std::vector<Translation>& alternatives);

}  // namespace Stitching
}  // namespace ZOLT
