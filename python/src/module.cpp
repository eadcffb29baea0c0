#include "Bindings.h"
#include "Errors.h"

#include <ZOLT/Version.h>

namespace py = pybind11;

PYBIND11_MODULE(_zolt, module)
{
    module.doc() = "The compiled part of the zolt package; use the package itself.";
    module.attr("__version__") = ZOLT_STITCHING_VERSION_STRING;
    ZOLT::Python::InitErrors(module);
    ZOLT::Python::InitStitch(module);
    ZOLT::Python::InitStitcher(module);
}
