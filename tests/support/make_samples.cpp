// Writes a synthetic framed capture series of known geometry as PNG files, for the tool tests.
//
//   zolt-make-samples FOLDER

#include "SyntheticCaptures.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
    // A small browser-like window scrolled down a document page by uneven steps.
    ZOLT::Testing::WindowFrame frame;
    frame.titleBar = 22;
    frame.toolbar = 30;
    frame.statusBar = 18;
    frame.scrollbar = 12;
    const ZOLT::Testing::CaptureSeries series = ZOLT::Testing::CutSeries(
        ZOLT::Testing::MakePage(cv::Size(560, 1500), 2024, false), cv::Size(560, 300),
        ZOLT::Testing::OffsetsFromSteps(cv::Point(0, 0), {{0, 140}, {0, 95}, {0, 170}, {0, 120}, {0, 150}}), frame);
    for (std::size_t i = 0; i < series.captures.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "/capture-%02zu.png", i + 1);
        const std::string path = argv[1] + std::string(name);
        if (!cv::imwrite(path, series.captures[i], {cv::IMWRITE_PNG_COMPRESSION, 9})) {
            std::cerr << "cannot write " << path << "\n";
            return 1;
        }
        std::cout << path << "\n";
    }
    return 0;
}
