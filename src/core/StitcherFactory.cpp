#include <ZOLT/Factory.h>

#include <ZOLT/Borders.h>
#include <ZOLT/Detection.h>
#include <ZOLT/PageStitcher.h>
#include <ZOLT/Stitchers.h>

// Each product gets a detector of its own, so two stitchers never share detection state, and
// every argument is handed on unchanged: the component that reads a value owns its limits.
namespace ZOLT {
namespace Stitching {

std::shared_ptr<IStitcher> StitcherFactory::CreateBasicStitcher(const StitcherParameters& parameters)
{
    auto detector = std::make_shared<PhaseCorrelationTranslationDetector>(parameters);
    return std::make_shared<BasicStitcher>(std::move(detector), parameters);
}

std::shared_ptr<IStitcher> StitcherFactory::CreateSmartStitcher(const StitcherParameters& parameters,
                                                                unsigned int scaleFactor)
{
    auto detector = std::make_shared<PhaseCorrelationTranslationDetector>(parameters);
    return std::make_shared<SmartStitcher>(std::move(detector), parameters, static_cast<int>(scaleFactor));
}

std::shared_ptr<IStitcher> StitcherFactory::CreateStitcherWithBasicBorderDetection(const StitcherParameters& parameters,
                                                                                   unsigned int changeThreshold,
                                                                                   unsigned int neighborThreshold)
{
    return std::make_shared<BasicBorderDetection>(CreateBasicStitcher(parameters), changeThreshold, neighborThreshold);
}

std::shared_ptr<IStitcher> StitcherFactory::CreatePageStitcher(const StitcherParameters& parameters)
{
    return std::make_shared<PageStitcher>(parameters);
}

}  // namespace Stitching
}  // namespace ZOLT
