#include "Worker.h"

#include "Errors.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

/// Short enough that Ctrl-C and progress feel immediate, long enough to cost nothing.
constexpr std::chrono::milliseconds WAKE_INTERVAL(40);

/// The worker's side: its answer or its exception, and whether it has finished.
class WorkerRun {
public:
    explicit WorkerRun(const std::function<bool()>& work)
        : thread_([this, &work] {
              bool answer = false;
              std::exception_ptr failure;
              try {
                  answer = CallLibrary(work);
              } catch (...) {
                  failure = std::current_exception();
              }
              const std::lock_guard<std::mutex> lock(mutex_);
              answer_ = answer;
              failure_ = failure;
              finished_ = true;
              finishedChanged_.notify_all();
          })
    {
    }
    WorkerRun(const WorkerRun&) = delete;
    WorkerRun& operator=(const WorkerRun&) = delete;

    /// Joins without the GIL; the listener was cancelled first on every early way out.
    ~WorkerRun()
    {
        const py::gil_scoped_release release;
        thread_.join();
    }

    /// Waits up to one wake interval without the GIL; true once the worker has finished.
    bool WaitAWhile()
    {
        const py::gil_scoped_release release;
        std::unique_lock<std::mutex> lock(mutex_);
        return finishedChanged_.wait_for(lock, WAKE_INTERVAL, [this] { return finished_; });
    }

    /// The answer, or the worker's exception; only once finished.
    bool Outcome() const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        return answer_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
    bool answer_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

/// Calls progress(fraction); false when it asks to stop.
bool ReportProgress(const py::object& progress, int position)
{
    const py::object answer = progress(position / 100.0);
    if (answer.is_none()) {
        return true;
    }
    const int truth = PyObject_IsTrue(answer.ptr());
    if (truth < 0) {
        throw py::error_already_set();
    }
    return truth != 0;
}

}  // namespace

bool RunInWorker(PyListener& listener, const py::object& progress, const std::function<bool()>& work)
{
    std::optional<py::error_already_set> raised;
    int reported = -1;
    bool answer = false;
    {
        WorkerRun run(work);
        while (!run.WaitAWhile()) {
            if (raised) {
                continue;
            }
            try {
                if (PyErr_CheckSignals() != 0) {
                    throw py::error_already_set();
                }
                const int position = listener.Position();
                if (!progress.is_none() && position > reported) {
                    reported = position;
                    if (!ReportProgress(progress, position)) {
                        listener.Cancel();
                    }
                }
            } catch (py::error_already_set& error) {
                raised = std::move(error);
                listener.Cancel();
            }
        }
        if (raised) {
            throw *raised;
        }
        answer = run.Outcome();
    }
    if (answer && !progress.is_none() && !listener.CancelRequested() && reported < 100) {
        ReportProgress(progress, 100);
    }
    return answer;
}

}  // namespace Python
}  // namespace ZOLT
