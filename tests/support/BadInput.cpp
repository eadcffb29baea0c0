#include "BadInput.h"

#include "Sanitizers.h"
#include "SyntheticCaptures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace ZOLT {
namespace Testing {

void PrintTo(Thrown thrown, std::ostream* out)
{
    static const char* const names[] = {"nothing",          "cv::Exception",      "std::invalid_argument",
                                        "std::out_of_range", "std::runtime_error", "another exception"};
    *out << names[static_cast<int>(thrown)];
}

void PrintTo(const BadInputCase& row, std::ostream* out)
{
    *out << row.name;
}

namespace {

std::string Joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

}  // namespace

Observed Observe(const std::function<void(Probe&)>& call)
{
    Observed observed;
    Probe probe;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    try {
        call(probe);
    } catch (const cv::Exception&) {
        observed.thrown = Thrown::OpenCv;
    } catch (const std::invalid_argument& error) {
        observed.thrown = Thrown::InvalidArgument;
        observed.message = error.what();
    } catch (const std::out_of_range& error) {
        observed.thrown = Thrown::OutOfRange;
        observed.message = error.what();
    } catch (const std::runtime_error& error) {
        observed.thrown = Thrown::RuntimeError;
        observed.message = error.what();
    } catch (...) {
        observed.thrown = Thrown::Other;
    }
    observed.output = testing::internal::GetCapturedStdout();
    observed.errors = WithoutSanitizerNotes(testing::internal::GetCapturedStderr());
    observed.result = probe.result;
    observed.calls = Joined(probe.listener.Calls());
    return observed;
}

void ExpectOutcome(const BadInputCase& row)
{
    const Observed observed = Observe(row.call);
    EXPECT_EQ(observed.thrown, row.thrown);
    if (!row.message.empty()) {
        EXPECT_EQ(observed.message, row.message);
    }
    EXPECT_EQ(observed.result, row.result);
    EXPECT_EQ(observed.calls, row.calls);
    EXPECT_EQ(observed.errors, row.errors);
    EXPECT_EQ(observed.output, row.output);
}

std::string CaseName(const BadInputCase& row)
{
    return row.name;
}

std::string Shape(const cv::Mat& image)
{
    if (image.empty()) {
        return "empty";
    }
    return std::to_string(image.rows) + "x" + std::to_string(image.cols) + "x" + std::to_string(image.channels());
}

std::string Describe(const Stitching::Translation& translation)
{
    return "(" + std::to_string(translation.GetRows()) + ", " + std::to_string(translation.GetCols()) + ")";
}

std::string Describe(const std::vector<Stitching::Translation>& translations)
{
    if (translations.empty()) {
        return "none";
    }
    std::string text;
    for (const Stitching::Translation& translation : translations) {
        text += (text.empty() ? "" : " ") + Describe(translation);
    }
    return text;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

cv::Mat WithChannels(const cv::Mat& capture, int channels)
{
    std::vector<cv::Mat> planes;
    cv::split(capture, planes);
    switch (channels) {
    case 1:
        planes = {planes[0]};
        break;
    case 2:
        planes = {planes[0], planes[3]};
        break;
    case 3:
        planes.pop_back();
        break;
    default:
        while (static_cast<int>(planes.size()) < channels) {
            planes.push_back(planes[0]);
        }
        break;
    }
    cv::Mat merged;
    cv::merge(planes, merged);
    return merged;
}

cv::Mat WithDepth(const cv::Mat& capture, int depth)
{
    cv::Mat converted;
    capture.convertTo(converted, depth, depth == CV_16U ? 257.0 : depth == CV_32F ? 1.0 / 255.0 : 1.0);
    return converted;
}

std::vector<cv::Mat> ScrolledCaptures()
{
    static const std::vector<cv::Mat> captures = [] {
        const cv::Mat page = MakePage(cv::Size(64, 120), 21, false);
        return CutSeries(page, cv::Size(64, 48), VerticalOffsets(4, 8)).captures;
    }();
    return DeepCopies(captures);
}

std::vector<cv::Mat> FramedScrolledCaptures()
{
    static const std::vector<cv::Mat> captures = [] {
        const cv::Mat page = MakePage(cv::Size(64, 120), 21, false);
        WindowFrame frame;
        frame.titleBar = 26;
        frame.statusBar = 30;
        frame.leftPanel = 20;
        frame.rightPanel = 20;
        return CutSeries(page, cv::Size(64, 48), VerticalOffsets(4, 8), frame).captures;
    }();
    return DeepCopies(captures);
}

std::vector<cv::Mat> EachCapture(const std::vector<cv::Mat>& captures, cv::Mat (*change)(const cv::Mat&))
{
    std::vector<cv::Mat> changed;
    for (const cv::Mat& capture : captures) {
        changed.push_back(change(capture));
    }
    return changed;
}

std::vector<cv::Mat> OddInTheMiddle(std::vector<cv::Mat> captures, const cv::Mat& odd)
{
    captures[2] = odd;
    return captures;
}

Stitching::StitcherParameters QuietParameters()
{
    Stitching::StitcherParameters parameters;
    parameters.minimumPeakValue = 0.0;
    return parameters;
}

Stitching::StitcherParameters QuietParametersWith(void (*change)(Stitching::StitcherParameters&))
{
    Stitching::StitcherParameters parameters = QuietParameters();
    change(parameters);
    return parameters;
}

}  // namespace Testing
}  // namespace ZOLT
