// Bad input to the capture stores: indices past the end, matrices of every odd shape, spill
// folders that cannot take files, spill files changed behind the store's back. Each row gives the
// designed outcome (std::out_of_range, the unreadable-file error, the capture kept in memory, the
// capture read back equal), never an access outside the records.

#include "BadInput.h"
#include "TempFolder.h"

#include <ZOLT/Providers.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

using ZOLT::BasicImageProvider;
using ZOLT::Stitching::MemoryEfficientImageProvider;
using ZOLT::Testing::BadInputCase;
using ZOLT::Testing::Probe;
using ZOLT::Testing::Shape;
using ZOLT::Testing::TempFolder;
using ZOLT::Testing::Thrown;

namespace {

using ZOLT::Testing::FilesIn;

const std::string kSubscript = "invalid vector subscript";
const std::string kUnreadable = "Could not open or read file.";
const std::size_t kLargestIndex = std::numeric_limits<std::size_t>::max();

cv::Mat Capture(int value = 1)
{
    return cv::Mat(6, 5, CV_8UC4, cv::Scalar(value, 2, 3, 255));
}

/// Matrices of every shape a host might add: the store must hand each back as it was.
std::vector<cv::Mat> OddMatrices()
{
    cv::Mat fiveChannels(4, 3, CV_8UC(5));
    cv::randu(fiveChannels, 0, 256);
    cv::Mat wide(9, 12, CV_16UC2);
    cv::randu(wide, 0, 65536);
    cv::Mat floats(3, 7, CV_32FC3);
    cv::randu(floats, -1.0, 1.0);
    cv::Mat doubles(2, 2, CV_64FC1, cv::Scalar(-0.5));
    const cv::Mat view = wide(cv::Rect(2, 1, 5, 4));
    return {cv::Mat(), cv::Mat(5, 1, CV_8UC1, cv::Scalar(7)), fiveChannels, wide, floats, doubles, view};
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Equal(const cv::Mat& first, const cv::Mat& second)
{
    if (first.empty() || second.empty()) {
        return first.empty() && second.empty();
    }
    return first.size == second.size && first.type() == second.type() &&
           cv::norm(first.reshape(1), second.reshape(1), cv::NORM_INF) == 0.0;
}

/// A bounded store in a fresh folder with a budget of 0: every capture but the two newest is spilled.
struct SpillingStore {
    TempFolder folder;
    MemoryEfficientImageProvider store{folder.Prefix(), 0};

    std::size_t Files() const { return FilesIn(folder.Prefix()).size(); }
};

/// Adds `images` and reads every one back; the result says which came back equal.
void RoundTrip(ZOLT::IImageProvider& store, std::vector<cv::Mat> images, Probe& probe,
               void (*add)(ZOLT::IImageProvider&, cv::Mat&))
{
    for (cv::Mat& image : images) {
        add(store, image);
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        probe.result += Equal(*store.GetImageAt(i), images[i]) ? "=" : "!";
    }
}

void AddToBounded(ZOLT::IImageProvider& store, cv::Mat& image)
{
    static_cast<MemoryEfficientImageProvider&>(store).Add(image);
}

/// Three captures in a spilling store; capture 0 lives only in its spill file, which `spoil`
/// may change before it is read back.
std::function<void(Probe&)> Reload(void (*spoil)(const std::string& path))
{
    return [=](Probe& probe) {
        SpillingStore bounded;
        for (int i = 0; i < 3; ++i) {
            cv::Mat capture = Capture(i);
            bounded.store.Add(capture);
        }
        spoil(FilesIn(bounded.folder.Prefix()).at(0).string());
        probe.result = Shape(*bounded.store.GetImageAt(0));
    };
}

const std::vector<BadInputCase>& Cases()
{
    static const std::vector<BadInputCase> cases = {
        {"InMemoryReadOfAnEmptyStore", [](Probe&) { BasicImageProvider().GetImageAt(0); }, Thrown::OutOfRange, "", "",
         "", "", kSubscript},
        {"InMemoryReadAtTheLargestIndex",
         [](Probe&) {
             BasicImageProvider store;
             cv::Mat capture = Capture();
             store.Add(capture);
             store.GetImageAt(kLargestIndex);
         },
         Thrown::OutOfRange, "", "", "", "", kSubscript},
        {"InMemoryReplacePastTheEnd",
         [](Probe&) {
             BasicImageProvider store;
             cv::Mat capture = Capture();
             store.Add(capture);
             store.SetImageAt(1, capture);
         },
         Thrown::OutOfRange, "", "", "", "", kSubscript},
        {"InMemoryLastOfAnEmptyStore", [](Probe&) { BasicImageProvider().GetLastImage(); }, Thrown::OutOfRange, "", "",
         "", "", kSubscript},
        {"InMemoryOddMatrices",
         [](Probe& probe) {
             BasicImageProvider store;
             RoundTrip(store, OddMatrices(), probe,
                       [](ZOLT::IImageProvider& s, cv::Mat& image) { static_cast<BasicImageProvider&>(s).Add(image); });
         },
         Thrown::Nothing, "======="},
        {"BoundedReadOfAnEmptyStore", [](Probe&) { SpillingStore().store.GetImageAt(0); }, Thrown::OutOfRange, "", "",
         "", "", kSubscript},
        {"BoundedReadAtTheLargestIndex",
         [](Probe&) {
             SpillingStore bounded;
             cv::Mat capture = Capture();
             bounded.store.Add(capture);
             bounded.store.GetImageAt(kLargestIndex);
         },
         Thrown::OutOfRange, "", "", "", "", kSubscript},
        {"BoundedReplacePastTheEnd",
         [](Probe&) {
             SpillingStore bounded;
             cv::Mat capture = Capture();
             bounded.store.SetImageAt(0, capture);
         },
         Thrown::OutOfRange, "", "", "", "", kSubscript},
        {"BoundedLastOfAnEmptyStore", [](Probe&) { SpillingStore().store.GetLastImage(); }, Thrown::OutOfRange, "", "",
         "", "", kSubscript},
        // Every shape goes through a spill file and back, the view row by row; reading them
        // back in turn spills the two that were still loaded.
        {"BoundedOddMatrices",
         [](Probe& probe) {
             SpillingStore bounded;
             RoundTrip(bounded.store, OddMatrices(), probe, AddToBounded);
             probe.result += " files " + std::to_string(bounded.Files());
         },
         Thrown::Nothing, "======= files 7"},
        // The file format holds two dimensions: such a matrix cannot be spilled and stays in
        // memory; being the least recently used, it holds the others in memory too.
        {"BoundedThreeDimensionalMatrix",
         [](Probe& probe) {
             SpillingStore bounded;
             const int sizes[] = {2, 3, 4};
             cv::Mat cube(3, sizes, CV_8UC1, cv::Scalar(5));
             RoundTrip(bounded.store, {cube, Capture(), Capture()}, probe, AddToBounded);
             probe.result += " files " + std::to_string(bounded.Files());
         },
         Thrown::Nothing, "=== files 0"},
        // A spill folder that is a file: spills fail silently and every capture stays in memory.
        {"BoundedFolderThatIsAFile",
         [](Probe& probe) {
             const TempFolder folder;
             std::ofstream(folder.Prefix() + "plain") << "not a folder";
             MemoryEfficientImageProvider store(folder.Prefix() + "plain/", 0);
             RoundTrip(store, {Capture(1), Capture(2), Capture(3)}, probe, AddToBounded);
             probe.result += " files " + std::to_string(FilesIn(folder.Prefix()).size());
         },
         Thrown::Nothing, "=== files 1"},
        {"BoundedSpillFileDeleted", Reload([](const std::string& path) { std::filesystem::remove(path); }),
         Thrown::RuntimeError, "", "", "", "", kUnreadable},
        {"BoundedSpillFileCutShort",
         Reload([](const std::string& path) { std::filesystem::resize_file(path, 30); }), Thrown::RuntimeError, "",
         "", "", "", kUnreadable},
        {"BoundedSpillFileWithNegativeRows",
         Reload([](const std::string& path) {
             std::vector<unsigned char> bytes = ReadBytes(path);
             bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0xFF;
             WriteBytes(path, bytes);
         }),
         Thrown::RuntimeError, "", "", "", "", kUnreadable},
        {"BoundedSpillFileClaimingHugeRows",
         Reload([](const std::string& path) {
             std::vector<unsigned char> bytes = ReadBytes(path);
             bytes[4] = bytes[5] = bytes[6] = 0xFF;
             bytes[7] = 0x7F;
             WriteBytes(path, bytes);
         }),
         Thrown::RuntimeError, "", "", "", "", kUnreadable},
        {"BoundedSpillFileOfAnotherType",
         Reload([](const std::string& path) {
             std::vector<unsigned char> bytes = ReadBytes(path);
             bytes[16] = CV_8UC1;
             WriteBytes(path, bytes);
         }),
         Thrown::RuntimeError, "", "", "", "", kUnreadable},
        {"BoundedLargestBudget",
         [](Probe& probe) {
             const TempFolder folder;
             MemoryEfficientImageProvider store(folder.Prefix(), std::numeric_limits<std::size_t>::max());
             RoundTrip(store, {Capture(1), Capture(2), Capture(3)}, probe, AddToBounded);
             probe.result += " files " + std::to_string(FilesIn(folder.Prefix()).size());
         },
         Thrown::Nothing, "=== files 0"},
    };
    return cases;
}

class ProviderBadInput : public testing::TestWithParam<BadInputCase> {};

TEST_P(ProviderBadInput, GivesTheDesignedOutcome)
{
    ZOLT::Testing::ExpectOutcome(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, ProviderBadInput, testing::ValuesIn(Cases()),
                         [](const auto& info) { return ZOLT::Testing::CaseName(info.param); });

}  // namespace
