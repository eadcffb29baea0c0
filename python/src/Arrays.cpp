#include "Arrays.h"

#include <opencv2/imgproc.hpp>

#include <string>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

std::string Frame(std::size_t index)
{
    return "frame " + std::to_string(index);
}

std::string ShapeText(const py::array& array)
{
    std::string text = "(";
    for (py::ssize_t axis = 0; axis < array.ndim(); ++axis) {
        text += (axis > 0 ? ", " : "") + std::to_string(array.shape(axis));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

/// The frame as an array; anything NumPy can view as one (a PIL image, a memoryview) will do.
py::array AsArray(py::handle frame, std::size_t index)
{
    py::array array = py::array::ensure(frame);
    if (!array) {
        throw py::type_error(Frame(index) + " is a " +
                             std::string(py::str(py::type::handle_of(frame).attr("__name__"))) +
                             ", not an image array (a numpy.ndarray of uint8)");
    }
    if (!array.dtype().is(py::dtype::of<std::uint8_t>())) {
        throw py::type_error(Frame(index) + " has dtype " + std::string(py::str(array.dtype())) +
                             "; frames must be uint8, 8 bits per channel");
    }
    return array;
}

FrameShape ShapeOf(const py::array& array, std::size_t index)
{
    const bool grey = array.ndim() == 2 || (array.ndim() == 3 && array.shape(2) == 1);
    const bool colour = array.ndim() == 3 && (array.shape(2) == 3 || array.shape(2) == 4);
    if (!grey && !colour) {
        throw py::value_error(Frame(index) + " has shape " + ShapeText(array) +
                              "; frames are H x W (grey), H x W x 3 or H x W x 4");
    }
    const FrameShape shape{array.shape(0), array.shape(1), grey ? 1 : static_cast<int>(array.shape(2))};
    if (shape.rows == 0 || shape.cols == 0) {
        throw py::value_error(Frame(index) + " is empty (shape " + ShapeText(array) + ")");
    }
    if (static_cast<std::size_t>(shape.rows) > MAX_FRAME_PIXELS / static_cast<std::size_t>(shape.cols)) {
        throw py::value_error(Frame(index) + " has shape " + ShapeText(array) + ", more than the " +
                              std::to_string(MAX_FRAME_PIXELS) + " pixels (8192 x 8192) a frame may have");
    }
    return shape;
}

void CheckSameShape(const FrameShape& shape, const FrameShape& first, const py::array& array, std::size_t index)
{
    if (shape.rows != first.rows || shape.cols != first.cols || shape.channels != first.channels) {
        throw py::value_error(Frame(index) + " has shape " + ShapeText(array) + ", but frame 0 is " +
                              std::to_string(first.rows) + " x " + std::to_string(first.cols) + " with " +
                              std::to_string(first.channels) + (first.channels == 1 ? " channel" : " channels") +
                              "; all frames must have the same shape");
    }
}

/// Pixels that lie packed within rows going down can be read by OpenCV in place.
bool RowsOfPackedPixels(const py::array& array, int channels)
{
    return array.strides(0) >= array.shape(1) * channels && array.strides(1) == channels &&
           (array.ndim() == 2 || array.strides(2) == 1);
}

int ConversionToCapture(int channels, ChannelOrder order)
{
    switch (channels) {
    case 1:
        return cv::COLOR_GRAY2RGBA;
    case 3:
        return order == ChannelOrder::Bgr ? cv::COLOR_BGR2RGBA : cv::COLOR_RGB2RGBA;
    default:
        return order == ChannelOrder::Bgr ? cv::COLOR_BGRA2RGBA : -1;
    }
}

/// Any other layout (every other column, channels reversed by a view, rows upwards) is read
/// pixel by pixel, still in one pass.
void CopyStrided(const py::array& array, const FrameShape& shape, ChannelOrder order, cv::Mat& capture)
{
    const auto* const base = static_cast<const std::uint8_t*>(array.data());
    const py::ssize_t rowStride = array.strides(0);
    const py::ssize_t colStride = array.strides(1);
    const py::ssize_t channelStride = array.ndim() == 3 ? array.strides(2) : 0;
    const bool swapped = order == ChannelOrder::Bgr && shape.channels > 1;
    const py::ssize_t red = (swapped ? 2 : 0) * channelStride;
    const py::ssize_t green = (shape.channels > 1 ? 1 : 0) * channelStride;
    const py::ssize_t blue = (swapped ? 0 : 2) * (shape.channels > 1 ? channelStride : 0);
    for (py::ssize_t row = 0; row < shape.rows; ++row) {
        auto* out = capture.ptr<cv::Vec4b>(static_cast<int>(row));
        for (py::ssize_t col = 0; col < shape.cols; ++col) {
            const std::uint8_t* pixel = base + row * rowStride + col * colStride;
            out[col] = cv::Vec4b(pixel[red], pixel[green], pixel[blue],
                                 shape.channels == 4 ? pixel[3 * channelStride] : std::uint8_t(255));
        }
    }
}

int ConversionFromCapture(int channels, ChannelOrder order)
{
    switch (channels) {
    case 1:
        return cv::COLOR_RGBA2GRAY;
    case 3:
        return order == ChannelOrder::Bgr ? cv::COLOR_RGBA2BGR : cv::COLOR_RGBA2RGB;
    default:
        return order == ChannelOrder::Bgr ? cv::COLOR_RGBA2BGRA : -1;
    }
}

/// Converts `from` into `to`, which already has the target's size and type; -1 copies.
void Convert(const cv::Mat& from, cv::Mat& to, int conversion)
{
    if (conversion < 0) {
        from.copyTo(to);
    } else {
        cv::cvtColor(from, to, conversion);
    }
}

}  // namespace

cv::Mat ToCapture(py::handle frame, std::size_t index, ChannelOrder order, std::optional<FrameShape>& shape)
{
    const py::array array = AsArray(frame, index);
    const FrameShape frameShape = ShapeOf(array, index);
    if (shape) {
        CheckSameShape(frameShape, *shape, array, index);
    } else {
        shape = frameShape;
    }

    cv::Mat capture(static_cast<int>(frameShape.rows), static_cast<int>(frameShape.cols), CV_8UC4);
    const py::gil_scoped_release release;
    if (RowsOfPackedPixels(array, frameShape.channels)) {
        const cv::Mat view(capture.size(), CV_8UC(frameShape.channels), const_cast<void*>(array.data()),
                           static_cast<std::size_t>(array.strides(0)));
        Convert(view, capture, ConversionToCapture(frameShape.channels, order));
    } else {
        CopyStrided(array, frameShape, order, capture);
    }
    return capture;
}

py::array FromCapture(const cv::Mat& capture, int channels, ChannelOrder order)
{
    std::vector<py::ssize_t> dimensions{capture.rows, capture.cols};
    if (channels > 1) {
        dimensions.push_back(channels);
    }
    py::array_t<std::uint8_t> result(dimensions);
    cv::Mat target(capture.size(), CV_8UC(channels), result.mutable_data());
    const py::gil_scoped_release release;
    Convert(capture, target, ConversionFromCapture(channels, order));
    return std::move(result);
}

}  // namespace Python
}  // namespace ZOLT
