#include "Frames.h"

#include <pybind11/numpy.h>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

void AddFrame(py::handle frame, std::size_t index, ChannelOrder order, FrameStore& store,
              std::optional<FrameShape>& shape)
{
    cv::Mat capture = ToCapture(frame, index, order, shape);
    // The store takes over the pixels; dropping this header lets a bounded store spill them.
    store.Add(capture);
}

std::size_t LoadFrames(const py::object& frames, ChannelOrder order, FrameStore& store,
                       std::optional<FrameShape>& shape)
{
    // A stack of frames (N x H x W x C) is an iterable of frames; one frame is not.
    if (py::isinstance<py::array>(frames) && py::reinterpret_borrow<py::array>(frames).ndim() < 4) {
        throw py::type_error(
            "frames must be an iterable of frames (a list, a generator or an N x H x W x C "
            "array), not a single array; pass [frame] to stitch one frame");
    }
    std::size_t count = 0;
    for (const py::handle frame : py::iter(frames)) {
        AddFrame(frame, count, order, store, shape);
        ++count;
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
    if (count == 0) {
        throw py::value_error("no frames to stitch: the iterable was empty");
    }
    return count;
}

}  // namespace Python
}  // namespace ZOLT
