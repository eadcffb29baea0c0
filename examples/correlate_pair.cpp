// Minimal host program: loads two captures, measures how far the content moved between them.
//
//   zolt-correlate-pair FIRST.png SECOND.png

#include <ZOLT/Stitching.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <iostream>

namespace {

/// Captures are four-channel; grey or colour files get an opaque alpha channel.
cv::Mat LoadCapture(const char* path)
{
    cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (image.channels() == 1) {
        cv::cvtColor(image, image, cv::COLOR_GRAY2BGRA);
    } else if (image.channels() == 3) {
        cv::cvtColor(image, image, cv::COLOR_BGR2BGRA);
    }
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " FIRST SECOND\n";
        return 2;
    }
    const cv::Mat first = LoadCapture(argv[1]);
    const cv::Mat second = LoadCapture(argv[2]);
    if (first.empty() || second.empty() || first.size() != second.size()) {
        std::cerr << "error: need two readable images of the same size\n";
        return 1;
    }

    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector{ZOLT::Stitching::StitcherParameters()};
    const ZOLT::Stitching::Translation translation = detector.DetectTranslation(first, second, nullptr);
    std::cout << "translation of " << argv[2] << " against " << argv[1] << ": rows " << translation.GetRows()
              << ", cols " << translation.GetCols() << "\n";
    return 0;
}
