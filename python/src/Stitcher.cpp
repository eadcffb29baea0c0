// zolt.Stitcher: frames added one by one, for live use. With the page stitcher each frame is
// measured against the one before as it arrives, so that result() has only the page to compose.

#include "Bindings.h"
#include "Errors.h"
#include "Frames.h"
#include "Worker.h"

#include <ZOLT/PageStitcher.h>

#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

class Stitcher {
public:
    explicit Stitcher(const StitchOptions& options) : options_(options), store_(options) { StartSession(); }

    void Add(py::handle frame)
    {
        const std::unique_lock<std::mutex> lock = Lock();
        AddFrame(frame, count_, options_.order, store_, shape_);
        ++count_;
        if (!session_ || count_ < 2) {
            return;
        }
        PyListener listener;
        bool done = false;
        {
            const py::gil_scoped_release release;
            done = CallLibrary([&] { return session_->Update(&listener, 0, 100); });
        }
        if (!done) {
            StartSession();
        }
        CheckOutcome(done, listener);
        IssueWarnings(listener, 1, options_, count_ - 1);
    }

    py::array Result(const py::object& progress)
    {
        const std::unique_lock<std::mutex> lock = Lock();
        if (count_ == 0) {
            throw py::value_error("no frames to stitch: add() some first");
        }
        cv::Mat result;
        if (count_ == 1) {
            result = *store_.Provider().GetImageAt(0);
        } else if (session_) {
            result = FinishSession(progress);
        } else {
            result = StitchStore(progress);
        }
        return FromCapture(result, ResultChannels(options_, shape_->channels), options_.order);
    }

    std::vector<std::pair<int, int>> Translations()
    {
        const std::unique_lock<std::mutex> lock = Lock();
        std::vector<std::pair<int, int>> pairs;
        for (const Stitching::Translation& translation : session_ ? session_->GetTranslations() : translations_) {
            pairs.emplace_back(translation.GetRows(), translation.GetCols());
        }
        return pairs;
    }

    std::size_t Count()
    {
        const std::unique_lock<std::mutex> lock = Lock();
        return count_;
    }

private:
    /// One call at a time; waiting for the other call without the GIL, which that call may need.
    std::unique_lock<std::mutex> Lock()
    {
        const py::gil_scoped_release release;
        return std::unique_lock<std::mutex>(busy_);
    }

    /// A new page session over the stored frames; after a failed or cancelled call, it measures
    /// them all again, so that the stitcher stays usable.
    void StartSession()
    {
        if (options_.kind == StitcherKind::Page) {
            session_ = std::make_unique<Stitching::PageStitchSession>(options_.parameters, store_.Provider());
        }
    }

    cv::Mat FinishSession(const py::object& progress)
    {
        PyListener listener;
        cv::Mat result;
        const bool done =
            RunInWorker(listener, progress, [&] { return session_->Finish(result, &listener, 0, 100, true); });
        if (!done) {
            StartSession();
        }
        CheckOutcome(done, listener);
        IssueWarnings(listener, count_ - 1, options_);
        return result;
    }

    /// The other configurations stitch every frame each time, over an overlay: the border one
    /// replaces the captures it is given by their content.
    cv::Mat StitchStore(const py::object& progress)
    {
        OverlayProvider captures(store_.Provider(), options_);
        const std::shared_ptr<Stitching::IStitcher> stitcher = MakeStitcher(options_);
        PyListener listener;
        cv::Mat result;
        const bool done = RunInWorker(listener, progress,
                                      [&] { return stitcher->Stitch(captures, result, &listener, 0, 100, true); });
        CheckOutcome(done && !result.empty(), listener);
        translations_ = stitcher->GetTranslations();
        IssueWarnings(listener, count_ - 1, options_);
        return result;
    }

    const StitchOptions options_;
    std::mutex busy_;
    FrameStore store_;
    std::optional<FrameShape> shape_;
    std::size_t count_ = 0;
    /// The page stitcher's session; null for the other configurations.
    std::unique_ptr<Stitching::PageStitchSession> session_;
    /// The other configurations' translations, of the last result().
    std::vector<Stitching::Translation> translations_;
};

}  // namespace

void InitStitcher(py::module_& module)
{
    py::class_<Stitcher>(module, "Stitcher", R"(A stitch that takes its frames one by one, as they arrive.

    s = zolt.Stitcher()
    for frame in frames_as_they_come():
        s.add(frame)
    image = s.result()

The arguments are those of zolt.stitch() (stitcher, direction, threads, memory_limit_mb,
spill_dir, channel_order); progress goes to result(). With the page stitcher, the default, add()
measures each new frame against the one before it, so that result() has only the page to compose;
the other configurations keep the frames and stitch them all in result(). One call at a time: a
call from another thread waits for the one running.)")
        .def(py::init([](const std::string& stitcher, const std::string& direction, std::optional<int> threads,
                         std::optional<long long> memoryLimitMb, const py::object& spillDir,
                         const std::string& channelOrder) {
                 return std::make_unique<Stitcher>(
                     ParseOptions(stitcher, direction, threads, memoryLimitMb, spillDir, channelOrder));
             }),
             py::arg("stitcher") = "page", py::arg("direction") = "vertical", py::arg("threads") = py::none(),
             py::arg("memory_limit_mb") = py::none(), py::arg("spill_dir") = py::none(),
             py::arg("channel_order") = "bgr",
             "Raises ValueError for unknown argument values, NotADirectoryError or PermissionError for a "
             "spill_dir that cannot be used.")
        .def("add", &Stitcher::Add, py::arg("frame"),
             R"(Adds the next frame, which is read once and converted; the caller may reuse its array.

Every frame must have the first one's shape (TypeError or ValueError otherwise, and the frame is
not added). With the page stitcher the frame is measured against the one before it, without the
GIL; what that measurement warns about comes as a StitchWarning.)")
        .def("result", &Stitcher::Result, py::arg("progress") = py::none(),
             R"(Stitches the frames added so far and returns the image, as zolt.stitch() would.

May be called again after more frames were added. progress, cancelling, Ctrl-C and the errors are
as with zolt.stitch(); after a cancel the frames are still there, and the next call measures them
again.)")
        .def_property_readonly("translations", &Stitcher::Translations,
                               R"((rows, cols) of each frame against the one before it, as zolt.translations()
gives them: with the page stitcher, measured as the frames were added; with the others, those of
the last result().)")
        .def("__len__", &Stitcher::Count, "The number of frames added.");
}

}  // namespace Python
}  // namespace ZOLT
