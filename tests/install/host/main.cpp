// A host outside the library's source tree: only the installed headers and libraries.
#include <ZOLT/Stitching.h>

#include <iostream>

int main()
{
    cv::Mat page(400, 300, CV_8UC4);
    cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(256));
    const cv::Mat previous = page(cv::Rect(0, 0, 300, 200)).clone();
    const cv::Mat current = page(cv::Rect(0, 6, 300, 200)).clone();

    ZOLT::Stitching::PhaseCorrelationTranslationDetector detector{ZOLT::Stitching::StitcherParameters()};
    const ZOLT::Stitching::Translation translation = detector.DetectTranslation(previous, current, nullptr);
    std::cout << "ZOLT.Stitching " << ZOLT_STITCHING_VERSION_STRING << ": translation (" << translation.GetRows()
              << ", " << translation.GetCols() << ")\n";
    return translation == ZOLT::Stitching::Translation(-6, 0) ? 0 : 1;
}
