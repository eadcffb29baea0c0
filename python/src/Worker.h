#pragma once

// A long call into the library, run on a worker thread while the calling thread waits without
// the GIL, so that other Python threads go on, and wakes every few tens of milliseconds to report
// progress and to notice Ctrl-C, both in the thread that called in.

#include "PyListener.h"

#include <pybind11/pybind11.h>

#include <functional>

namespace ZOLT {
namespace Python {

/// Runs `work` (which must not touch Python) on a worker thread and returns its answer.
/// `progress`, unless None, is called with the fraction done whenever it grew, and with 1.0 after
/// a call that succeeded. A false answer from it (other than None), an exception it raises, or a
/// signal whose handler raises (KeyboardInterrupt) cancels the work through `listener`. The
/// worker is always joined first; then the Python exception, or the worker's, is raised.
bool RunInWorker(PyListener& listener, const pybind11::object& progress, const std::function<bool()>& work);

}  // namespace Python
}  // namespace ZOLT
