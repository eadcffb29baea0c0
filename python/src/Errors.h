#pragma once

// zolt.StitchError, zolt.StitchCancelled and zolt.StitchWarning: what a stitch reported, turned
// into a Python exception or Python warnings with the library's own texts.

#include "Options.h"
#include "PyListener.h"

#include <pybind11/pybind11.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace ZOLT {
namespace Python {

/// Raised in Python as zolt.StitchError.
struct StitchFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Raised in Python as zolt.StitchCancelled, a StitchError.
struct StitchCancelled : StitchFailure {
    using StitchFailure::StitchFailure;
};

/// Registers the exceptions and the warning category in `module`.
void InitErrors(pybind11::module_& module);

/// Runs a call into the library. Its exceptions become StitchFailure with their own text, except
/// std::bad_alloc, which Python raises as MemoryError.
template <typename Work>
auto CallLibrary(Work&& work) -> decltype(work())
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const cv::Exception& exception) {
        throw StitchFailure(exception.err);
    } catch (const StitchFailure&) {
        throw;
    } catch (const std::exception& exception) {
        throw StitchFailure(exception.what());
    }
}

/// Throws StitchCancelled when the listener was cancelled, StitchFailure with the library's error
/// lines (or what the last error code means) when the operation did not succeed.
void CheckOutcome(bool succeeded, const PyListener& listener);

/// Issues one zolt.StitchWarning for each kind of warning the library reported over `pairs`
/// frame pairs (only the pair that frame `added` ends, when given), saying what it means for the
/// result, and one for each of its notices and error lines of an operation that succeeded.
/// Throws error_already_set when a warning is an error.
void IssueWarnings(const PyListener& listener, std::size_t pairs, const StitchOptions& options,
                   std::optional<std::size_t> added = std::nullopt);

}  // namespace Python
}  // namespace ZOLT
