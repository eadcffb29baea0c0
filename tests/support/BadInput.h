#pragma once

// Table-driven bad-input checks: run one call, record everything it did (the exception that left
// it, what it returned, the listener calls, the lines on the standard streams) and compare that
// with what the row of the table expects.

#include <ZOLT/Core.h>

#include "RecordingListener.h"

#include <opencv2/core.hpp>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ZOLT {
namespace Testing {

/// Which kind of exception left the call.
enum class Thrown { Nothing, OpenCv, InvalidArgument, OutOfRange, RuntimeError, Other };

void PrintTo(Thrown thrown, std::ostream* out);

/// What a call under test may use and fill: a listener to hand to the library, and a text the
/// call writes to describe what it returned.
struct Probe {
    RecordingListener listener;
    std::string result;
};

/// Everything one call did.
struct Observed {
    Thrown thrown = Thrown::Nothing;
    /// what() of a standard exception; cv::Exception messages vary between OpenCV versions and
    /// are not kept.
    std::string message;
    std::string result;
    /// The listener's calls, comma separated ("progress 90, error 2, complete 0").
    std::string calls;
    std::string errors;
    std::string output;
};

/// One row of a table: the call and what it must do. An empty `message` is not compared.
struct BadInputCase {
    BadInputCase(std::string rowName, std::function<void(Probe&)> rowCall, Thrown rowThrown,
                 std::string rowResult = "", std::string rowCalls = "", std::string rowErrors = "",
                 std::string rowOutput = "", std::string rowMessage = "")
        : name(std::move(rowName)),
          call(std::move(rowCall)),
          thrown(rowThrown),
          result(std::move(rowResult)),
          calls(std::move(rowCalls)),
          errors(std::move(rowErrors)),
          output(std::move(rowOutput)),
          message(std::move(rowMessage))
    {
    }

    std::string name;
    std::function<void(Probe&)> call;
    Thrown thrown = Thrown::Nothing;
    std::string result;
    std::string calls;
    std::string errors;
    std::string output;
    std::string message;
};

void PrintTo(const BadInputCase& row, std::ostream* out);

/// Runs `call` with both standard streams captured and every exception caught.
Observed Observe(const std::function<void(Probe&)>& call);

/// Checks every field of what `row` did against the row.
void ExpectOutcome(const BadInputCase& row);

/// Test names for parameterised suites over a table.
std::string CaseName(const BadInputCase& row);

/// "48x64x4": rows, columns and channels of a matrix ("empty" for one without pixels).
std::string Shape(const cv::Mat& image);

/// The translations as "(-8, 0) (-8, 0)"; "none" for an empty list.
std::string Describe(const std::vector<Stitching::Translation>& translations);
std::string Describe(const Stitching::Translation& translation);

/// A detector that answers every detection over a provider with a fixed list (huge translations,
/// too few of them), after one progress report at the end of its range.
class FixedDetector : public Stitching::ITranslationDetector {
public:
    explicit FixedDetector(std::vector<Stitching::Translation> translations) : translations_(std::move(translations))
    {
    }

    std::vector<Stitching::Translation> DetectTranslation(IImageProvider&, Stitching::IStitcherListener* listener,
                                                          int, int progressEnd) override
    {
        if (listener != nullptr) {
            listener->OnProgress(progressEnd);
        }
        return translations_;
    }

    Stitching::Translation DetectTranslation(const cv::Mat&, const cv::Mat&, Stitching::IStitcherListener*) override
    {
        return Stitching::Translation();
    }

private:
    std::vector<Stitching::Translation> translations_;
};

/// The files in `folder`, sorted.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);

/// Bad variants of an 8-bit four-channel capture.
cv::Mat WithChannels(const cv::Mat& capture, int channels);
cv::Mat WithDepth(const cv::Mat& capture, int depth);

/// Four 48 x 64 captures of a page scrolled down by 8 rows each (fresh deep copies every call).
std::vector<cv::Mat> ScrolledCaptures();
/// The same scroll inside a fixed frame wider than the smart stitcher's margin threshold:
/// 104 x 104 windows, 26 rows above, 30 below and 20 columns on each side of the viewport.
std::vector<cv::Mat> FramedScrolledCaptures();
/// Every capture passed through `change`.
std::vector<cv::Mat> EachCapture(const std::vector<cv::Mat>& captures, cv::Mat (*change)(const cv::Mat&));
/// The captures with capture 2 replaced by `odd`.
std::vector<cv::Mat> OddInTheMiddle(std::vector<cv::Mat> captures, const cv::Mat& odd);
/// Default parameters, except that the peaks of such small captures do not count as weak.
Stitching::StitcherParameters QuietParameters();
/// Quiet parameters with one change.
Stitching::StitcherParameters QuietParametersWith(void (*change)(Stitching::StitcherParameters&));

}  // namespace Testing
}  // namespace ZOLT
