#pragma once

// Realistic synthetic scrolling captures for tests, benchmarks and the bundled samples: a tall
// document page, a window cut from it at given offsets, and an optional fixed frame around the
// moving part (title bar, toolbar, status bar, side panels, scrollbar).

#include <ZOLT/Core.h>

#include "TestPrinters.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace ZOLT {
namespace Testing {

/// An 8-bit four-channel page (alpha 255) with headings, text lines, code blocks, pictures
/// and, unless switched off, a little noise. The same arguments always give the same page.
cv::Mat MakePage(cv::Size size, std::uint32_t seed, bool noise = true);

/// Fixed parts of a window around the scrolling viewport, in pixels.
struct WindowFrame {
    int titleBar = 0;
    int toolbar = 0;
    int statusBar = 0;
    int leftPanel = 0;
    int rightPanel = 0;
    /// A scrollbar column at the right edge; its thumb moves with the viewport.
    int scrollbar = 0;

    int Top() const { return titleBar + toolbar; }
    int Bottom() const { return statusBar; }
    int Left() const { return leftPanel; }
    int Right() const { return rightPanel + scrollbar; }
};

/// A series of window captures taken while the viewport scrolled over a page.
struct CaptureSeries {
    cv::Mat page;
    /// Viewport top-left corner on the page (x, y) for every capture.
    std::vector<cv::Point> offsets;
    std::vector<cv::Mat> captures;
    /// Where the viewport lies in every capture.
    cv::Rect viewportRect;
    WindowFrame frame;

    /// The true translation of every capture against the one before it.
    std::vector<Stitching::Translation> Translations() const;
    /// The part of the page that the viewports cover together (their bounding box).
    cv::Rect CoveredPageRect() const;
    cv::Mat CoveredPage() const { return page(CoveredPageRect()).clone(); }
};

/// Cuts the captures: each is the frame (the same in every capture, scrollbar thumb aside) with
/// the page part at its offset in the viewport. The window is viewport plus frame.
CaptureSeries CutSeries(const cv::Mat& page, cv::Size viewport, const std::vector<cv::Point>& offsets,
                        const WindowFrame& frame = WindowFrame(), std::uint32_t frameSeed = 11);

/// Offsets from `start`, each step (dx, dy) added to the previous offset.
std::vector<cv::Point> OffsetsFromSteps(cv::Point start, const std::vector<cv::Point>& steps);

/// `count` offsets scrolling down by `step` rows from `start`.
std::vector<cv::Point> VerticalOffsets(int count, int step, cv::Point start = cv::Point(0, 0));

/// `count` offsets scrolling right by `step` columns from `start`.
std::vector<cv::Point> HorizontalOffsets(int count, int step, cv::Point start = cv::Point(0, 0));

/// Copies each capture into a fresh, independent matrix (deep copies).
std::vector<cv::Mat> DeepCopies(const std::vector<cv::Mat>& captures);

}  // namespace Testing
}  // namespace ZOLT
