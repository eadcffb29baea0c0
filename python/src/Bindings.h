#pragma once

// The parts of the module, each added by its own function.

#include <pybind11/pybind11.h>

namespace ZOLT {
namespace Python {

/// zolt.stitch and zolt.translations.
void InitStitch(pybind11::module_& module);
/// zolt.Stitcher.
void InitStitcher(pybind11::module_& module);

}  // namespace Python
}  // namespace ZOLT
