// zolt.stitch and zolt.translations: a whole series at once.

#include "Bindings.h"
#include "Errors.h"
#include "Frames.h"
#include "Worker.h"

#include <ZOLT/PageStitcher.h>

#include <pybind11/stl.h>

#include <utility>
#include <vector>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

using Pairs = std::vector<std::pair<int, int>>;

Pairs AsPairs(const std::vector<Stitching::Translation>& translations)
{
    Pairs pairs;
    for (const Stitching::Translation& translation : translations) {
        pairs.emplace_back(translation.GetRows(), translation.GetCols());
    }
    return pairs;
}

/// The frames, stored; a stitch needs nothing else from Python but progress.
struct Series {
    Series(const py::object& frames, const StitchOptions& options)
        : store(options), count(LoadFrames(frames, options.order, store, shape))
    {
    }

    FrameStore store;
    std::optional<FrameShape> shape;
    const std::size_t count;
};

/// Stitches the series on a worker thread; the stitcher keeps the translations.
cv::Mat StitchSeries(Series& series, Stitching::IStitcher& stitcher, const StitchOptions& options,
                     const py::object& progress)
{
    PyListener listener;
    cv::Mat result;
    const bool done = RunInWorker(
        listener, progress, [&] { return stitcher.Stitch(series.store.Provider(), result, &listener, 0, 100, true); });
    CheckOutcome(done && !result.empty(), listener);
    IssueWarnings(listener, series.count - 1, options);
    return result;
}

py::array Stitch(const py::object& frames, const std::string& stitcher, const std::string& direction,
                 std::optional<int> threads, std::optional<long long> memoryLimitMb, const py::object& spillDir,
                 const py::object& progress, const std::string& channelOrder)
{
    const StitchOptions options = ParseOptions(stitcher, direction, threads, memoryLimitMb, spillDir, channelOrder);
    Series series(frames, options);
    // A single frame is its own result, as with the command-line stitcher.
    const cv::Mat result = series.count == 1 ? *series.store.Provider().GetImageAt(0)
                                             : StitchSeries(series, *MakeStitcher(options), options, progress);
    return FromCapture(result, ResultChannels(options, series.shape->channels), options.order);
}

Pairs Translations(const py::object& frames, const std::string& stitcher, const std::string& direction,
                   std::optional<int> threads, std::optional<long long> memoryLimitMb, const py::object& spillDir,
                   const py::object& progress, const std::string& channelOrder)
{
    const StitchOptions options = ParseOptions(stitcher, direction, threads, memoryLimitMb, spillDir, channelOrder);
    Series series(frames, options);
    if (series.count == 1) {
        return {};
    }
    if (options.kind != StitcherKind::Page) {
        // The other configurations measure what they stitch (the smart one its changing region
        // only), so their translations come from a whole stitch.
        const std::shared_ptr<Stitching::IStitcher> made = MakeStitcher(options);
        StitchSeries(series, *made, options, progress);
        return AsPairs(made->GetTranslations());
    }
    // The page stitcher measures every pair before it composes: measuring is all it takes.
    Stitching::PageStitchSession session(options.parameters, series.store.Provider());
    PyListener listener;
    const bool done = RunInWorker(listener, progress, [&] { return session.Update(&listener, 0, 100); });
    CheckOutcome(done, listener);
    IssueWarnings(listener, series.count - 1, options);
    return AsPairs(session.GetTranslations());
}

}  // namespace

void InitStitch(py::module_& module)
{
    module.def("stitch", &Stitch, py::arg("frames"), py::arg("stitcher") = "page", py::arg("direction") = "vertical",
               py::arg("threads") = py::none(), py::arg("memory_limit_mb") = py::none(),
               py::arg("spill_dir") = py::none(), py::arg("progress") = py::none(), py::arg("channel_order") = "bgr",
               R"(Stitches the frames of a scrolling capture, oldest first, into one image.

frames: any iterable of uint8 arrays of one shape: H x W x 3 (BGR, as cv2 gives them), H x W x 4
    (BGRA) or H x W (grey); or an N x H x W x C array. Each frame is read once, in any memory layout
    (crops and other strided views too), and converted into the library's format; frames from a
    generator are taken one by one, so with memory_limit_mb they never all sit in memory.
stitcher: 'page' (the default: fixed and sticky elements and the window frame appear once, nothing
    is transparent), 'basic', 'smart' (only the changing part of a window is stitched and framed by
    the rest) or 'borders' (the borders common to all frames are cropped and put back).
direction: 'vertical' (the default), 'horizontal' or 'both': the axes along which movement is
    measured.
threads: how many frame pairs are measured at once; None for the number of cores.
memory_limit_mb: keep at most about this many mebibytes of frames in memory and spill the rest to
    files (200 when only spill_dir is given); None keeps every frame in memory.
spill_dir: the folder for those files; None for a fresh temporary folder, removed afterwards.
progress: called in the calling thread as progress(fraction), fraction from 0.0 to 1.0, whenever
    the stitch moved on (at most every 40 ms) and with 1.0 at the end; returning False cancels
    (StitchCancelled). Ctrl-C cancels as well and raises KeyboardInterrupt.
channel_order: 'bgr' (the default) or 'rgb' (Pillow, Matplotlib, imageio) for frames and result.

Returns a new uint8 array: with 'page', of the frames' channel count (H x W for grey frames);
with the other configurations, which leave parts beyond the frames transparent, four channels
(BGRA, or RGBA with channel_order='rgb'). A single frame is returned as it is, in that layout.

Raises TypeError for frames that are not uint8 arrays, ValueError for an empty iterable, frames of
different shapes, frames of more than 67,108,864 pixels and unknown argument values, StitchError
when the library cannot stitch the frames (with its own message), MemoryError when memory runs
out. What the library warns about (pairs that matched only weakly, frames that did not move)
comes as a StitchWarning. The GIL is released while the library works.)");

    module.def("translations", &Translations, py::arg("frames"), py::arg("stitcher") = "page",
               py::arg("direction") = "vertical", py::arg("threads") = py::none(),
               py::arg("memory_limit_mb") = py::none(), py::arg("spill_dir") = py::none(),
               py::arg("progress") = py::none(), py::arg("channel_order") = "bgr",
               R"(Measures how far each frame moved against the one before it, without stitching.

Takes the arguments of stitch() and returns one (rows, cols) pair per frame pair, element i for
frame i + 1 against frame i, in the convention of zolt-stitch --translations: content at row y,
column x of frame i is at row y + rows, column x + cols of frame i + 1, so a window scrolled down
gives negative rows. The page stitcher only measures; the other configurations stitch to know
their translations (the smart one measures its changing region only, the border one the content
inside the borders). A single frame gives an empty list.)");
}

}  // namespace Python
}  // namespace ZOLT
