#include "Errors.h"

#include <algorithm>
#include <vector>

namespace py = pybind11;

namespace ZOLT {
namespace Python {

namespace {

using Codes = Stitching::IStitcherListener;

/// zolt.StitchWarning; made once, with the module, and never released.
PyObject* warningCategory = nullptr;

std::string DescribeFailure(Codes::StitcherErrorCodes code)
{
    switch (code) {
    case Codes::NoImages:
        return "there were no frames to stitch";
    case Codes::ResultSizingFailed:
        return "no movement between the frames could be measured, so the result could not be sized";
    case Codes::BorderApplicationFailed:
        return "the borders common to all frames could not be put back";
    default:
        return "the library could not join the frames";
    }
}

std::string Decimal(double value)
{
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

/// What each warning means for the result, in the words of the Python arguments.
std::vector<std::string> WarningTexts(const PyListener& listener, std::size_t pairs, const StitchOptions& options,
                                      std::optional<std::size_t> added)
{
    const Stitching::StitcherParameters& parameters = options.parameters;
    const std::map<Codes::StitcherWarningCodes, std::size_t> warnings = listener.Warnings();
    const auto count = [&warnings](Codes::StitcherWarningCodes code) {
        const auto found = warnings.find(code);
        return found == warnings.end() ? std::size_t{0} : found->second;
    };
    std::vector<std::string> texts;
    if (const std::size_t weak = count(Codes::WeakCorrelation)) {
        std::string text = added ? "frame " + std::to_string(*added) + " matched the one before it only weakly"
                                 : std::to_string(std::min(weak, pairs)) + " of " + std::to_string(pairs) +
                                       " frame pairs matched only weakly";
        if (options.kind != StitcherKind::Page) {
            text += " (correlation peak below " + Decimal(parameters.minimumPeakValue) + ")";
        }
        text += ": their movement may be misread and the seams there misplaced";
        if (parameters.direction == 2) {
            text += "; if the window scrolled one way only, direction='vertical' or direction='horizontal' may help";
        }
        texts.push_back(text);
    }
    if (count(Codes::TooManyZeroTranslations) > 0) {
        texts.push_back("more than " + std::to_string(parameters.maxZeroTranslationsPercent) +
                        "% of the frames did not move against the one before them: they add nothing to the "
                        "result, or their movement was not recognised");
    }
    if (count(Codes::TooManyConsecutiveZeroTranslations) > 0) {
        texts.push_back("more than " + std::to_string(parameters.maxConsecutiveZeroTranslations) +
                        " frames in a row did not move: if the window did scroll there, that part is missing "
                        "from the result");
    }
    if (count(Codes::DiagonalTranslation) > 0) {
        texts.push_back(
            "some frames moved both across and down: if the window scrolled one way only, a movement was "
            "misread and the result shows a step there; direction='vertical' or direction='horizontal' rules "
            "that out");
    }
    if (listener.BordersDropped()) {
        texts.push_back(
            "the borders common to all frames were found but could not be put back: the result shows the "
            "stitched content without them");
    }
    for (const PyListener::Message& message : listener.Messages()) {
        texts.push_back(message.text);
    }
    return texts;
}

}  // namespace

void InitErrors(py::module_& module)
{
    auto& error = py::register_exception<StitchFailure>(module, "StitchError", PyExc_RuntimeError);
    error.doc() = "The library could not stitch the frames; the message is the library's own.";
    // Registered last, so tried first.
    py::register_exception<StitchCancelled>(module, "StitchCancelled", error.ptr()).doc() =
        "The stitch was cancelled because progress returned False (Ctrl-C raises KeyboardInterrupt).";
    warningCategory = PyErr_NewExceptionWithDoc(
        "zolt.StitchWarning",
        "A stitch went through, but the library reported something that may show in the result: the "
        "message says what.",
        PyExc_UserWarning, nullptr);
    if (warningCategory == nullptr) {
        throw py::error_already_set();
    }
    module.attr("StitchWarning") = py::reinterpret_borrow<py::object>(warningCategory);
}

void CheckOutcome(bool succeeded, const PyListener& listener)
{
    if (listener.CancelRequested() || listener.LastError() == Codes::Cancelled) {
        throw StitchCancelled("the stitch was cancelled");
    }
    if (succeeded) {
        return;
    }
    std::string text;
    for (const PyListener::Message& message : listener.Messages()) {
        if (message.severity == Codes::ErrorMessage) {
            text += (text.empty() ? "" : "\n") + message.text;
        }
    }
    throw StitchFailure(text.empty() ? DescribeFailure(listener.LastError()) : text);
}

void IssueWarnings(const PyListener& listener, std::size_t pairs, const StitchOptions& options,
                   std::optional<std::size_t> added)
{
    for (const std::string& text : WarningTexts(listener, pairs, options, added)) {
        if (PyErr_WarnEx(warningCategory, text.c_str(), 1) != 0) {
            throw py::error_already_set();
        }
    }
}

}  // namespace Python
}  // namespace ZOLT
