// page_match OUTPUT FULLPAGE MIN_SHARE: finds Chromium's full-page render inside a stitched image
// and fails unless at least MIN_SHARE of the page's pixels are reproduced exactly (and opaque).
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: page_match OUTPUT FULLPAGE MIN_SHARE\n");
        return 2;
    }
    cv::Mat output = cv::imread(argv[1], cv::IMREAD_UNCHANGED);
    const cv::Mat page = cv::imread(argv[2], cv::IMREAD_COLOR);
    if (output.empty() || page.empty() || output.channels() != 4) {
        std::fprintf(stderr, "page_match: unreadable image\n");
        return 1;
    }
    // A band across the middle of the page, along its long side, places the page in the output.
    const bool tall = page.rows >= page.cols;
    const int length = std::min(300, tall ? page.rows : page.cols);
    const cv::Rect band = tall ? cv::Rect(0, (page.rows - length) / 2, page.cols, length)
                               : cv::Rect((page.cols - length) / 2, 0, length, page.rows);
    cv::Mat colour, grey, bandGrey, scores;
    cv::cvtColor(output, colour, cv::COLOR_BGRA2BGR);
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(page(band), bandGrey, cv::COLOR_BGR2GRAY);
    if (grey.cols < bandGrey.cols || grey.rows < bandGrey.rows) {
        std::fprintf(stderr, "page_match: output %d x %d is smaller than the page band\n", output.cols, output.rows);
        return 1;
    }
    cv::matchTemplate(grey, bandGrey, scores, cv::TM_SQDIFF);
    cv::Point best;
    cv::minMaxLoc(scores, nullptr, nullptr, &best);
    const cv::Point offset = best - band.tl();

    // Page pixels outside the output count as missing.
    const cv::Rect inOutput = cv::Rect(offset, page.size()) & cv::Rect(0, 0, output.cols, output.rows);
    cv::Mat same = cv::Mat::zeros(inOutput.size(), CV_8U);
    if (!inOutput.empty()) {
        cv::Mat difference, alpha;
        cv::absdiff(colour(inOutput), page(inOutput - offset), difference);
        cv::cvtColor(difference, difference, cv::COLOR_BGR2GRAY);
        cv::extractChannel(output(inOutput), alpha, 3);
        same = (difference == 0) & (alpha == 255);
    }
    const double share = cv::countNonZero(same) / static_cast<double>(page.total());
    std::printf("page %d x %d at %d,%d in output %d x %d: %.4f of its pixels match\n", page.cols, page.rows, offset.x,
                offset.y, output.cols, output.rows, share);
    return share >= std::atof(argv[3]) ? 0 : 1;
}
