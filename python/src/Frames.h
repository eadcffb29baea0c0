#pragma once

// Taking the frames of a stitch from any Python iterable into a frame store.

#include "Arrays.h"
#include "FrameStore.h"

#include <pybind11/pybind11.h>

#include <cstddef>
#include <optional>

namespace ZOLT {
namespace Python {

/// Converts every frame of `frames` into `store`, checking for Ctrl-C after each, and returns
/// how many there were. Throws TypeError for a single array or anything that is not iterable,
/// ValueError when there is no frame, and what ToCapture throws or the iterable raises.
std::size_t LoadFrames(const pybind11::object& frames, ChannelOrder order, FrameStore& store,
                       std::optional<FrameShape>& shape);

/// Frame `index`, checked against `shape` and converted, added to `store`.
void AddFrame(pybind11::handle frame, std::size_t index, ChannelOrder order, FrameStore& store,
              std::optional<FrameShape>& shape);

}  // namespace Python
}  // namespace ZOLT
