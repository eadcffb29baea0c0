#pragma once

// Border handling: a decorator that crops the borders common to all captures before the
// wrapped stitcher runs and puts them back around its result.

#include <ZOLT/Core.h>

namespace ZOLT {
namespace Stitching {

/// A stitcher that wraps another stitcher and forwards the work to it.
class ZOLT_STITCHING_API StitchingModifier : public IStitcher {
public:
    StitchingModifier();
    StitchingModifier(const StitchingModifier& other);
    StitchingModifier& operator=(const StitchingModifier& other);
    ~StitchingModifier() override;

    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                int progressStart, int progressEnd, bool reportCompletion) override = 0;
    std::vector<Translation> GetTranslations() const override = 0;

protected:
    std::shared_ptr<IStitcher> stitcher_;
};

/// Extracts the common borders, lets the wrapped stitcher join the content, re-applies them.
///
/// Stitch changes the caller's provider: after a successful extraction every capture in it is
/// replaced by its content part.
class ZOLT_STITCHING_API BorderDetection : public StitchingModifier {
public:
    BorderDetection();
    BorderDetection(const BorderDetection& other);
    BorderDetection& operator=(const BorderDetection& other);
    ~BorderDetection() override;

    bool Stitch(IImageProvider& provider, cv::Mat& result, IStitcherListener* listener,
                int progressStart, int progressEnd, bool reportCompletion) override;
    /// The wrapped stitcher's translations.
    std::vector<Translation> GetTranslations() const override;

    /// Saves the common borders and replaces every capture by its content part.
    virtual bool ExtractBorders(IImageProvider& provider) = 0;
    /// Replaces `image` by itself surrounded with the saved borders.
    virtual bool ApplyBorders(cv::Mat& image) = 0;

protected:
    /// The listener of the Stitch call under way, which the lines of ExtractBorders and
    /// ApplyBorders go to; null outside a Stitch call, when they go to the console.
    IStitcherListener* StitchListener() const { return stitchListener_; }

private:
    IStitcherListener* stitchListener_ = nullptr;
};

/// Border detection from the grey differences of consecutive captures.
class ZOLT_STITCHING_API BasicBorderDetection : public BorderDetection {
public:
    /// A grey difference above `changeThreshold` marks a pixel as changed; a changed pixel with
    /// more than `neighborThreshold` changed neighbours is content.
    BasicBorderDetection(std::shared_ptr<IStitcher> stitcher, unsigned int changeThreshold,
                         unsigned int neighborThreshold);
    ~BasicBorderDetection() override;

    bool ExtractBorders(IImageProvider& provider) override;
    bool ApplyBorders(cv::Mat& image) override;

protected:
    virtual bool FindContent(IImageProvider& provider, const cv::Size& size, cv::Range& rowRange,
                             cv::Range& colRange);
    virtual bool CopyBorders(const cv::Mat& first, const cv::Range& rowRange, const cv::Range& colRange);
    virtual bool AddBorders(const cv::Range& rowRange, const cv::Range& colRange, cv::Mat& bordered);

private:
    bool FindTopAndLeftContentBoundary(cv::Mat& difference, cv::Range& rowRange, cv::Range& colRange);
    bool FindBottomAndRightContentBoundary(cv::Mat& difference, cv::Range& rowRange, cv::Range& colRange);
    bool CheckNearestNeighbors(const cv::Mat& difference, int row, int col, bool& isContent);
    void CalculateFinalImageSize(const cv::Size& contentSize, cv::Size& finalSize, cv::Range& rowRange,
                                 cv::Range& colRange);
    bool HoldsAnyBorder() const;

    unsigned int changeThreshold_;
    unsigned int neighborThreshold_;
    std::shared_ptr<cv::Mat> topBorder_;
    std::shared_ptr<cv::Mat> bottomBorder_;
    std::shared_ptr<cv::Mat> leftBorder_;
    std::shared_ptr<cv::Mat> rightBorder_;
};

}  // namespace Stitching
}  // namespace ZOLT
