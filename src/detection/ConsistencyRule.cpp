#include "detection/ConsistencyRule.h"

namespace ZOLT {
namespace Stitching {

void ApplyConsistencyRule(std::vector<Translation>& results, const std::vector<Translation>& alternatives)
{
    for (std::size_t k = 1; k < results.size() && k < alternatives.size(); ++k) {
        if (alternatives[k] == results[k]) {
            continue;
        }
        if (alternatives[k] == results[k - 1]) {
            results[k] = alternatives[k];
        }
    }
}

}  // namespace Stitching
}  // namespace ZOLT
