#pragma once

// Resident-memory figures of the benchmark process, read from /proc (Linux).

#include <fstream>
#include <string>

namespace ZOLT {
namespace Bench {

/// A "Vm...:" field of /proc/self/status ("VmRSS", "VmHWM") in MiB; 0 when it cannot be read.
inline double StatusMiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
        }
    }
    return 0.0;
}

/// Restarts the peak resident size (VmHWM) at the current resident size, so that a case reports
/// its own peak; false where the kernel does not allow it.
inline bool ResetPeakResident()
{
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return clearRefs.good();
}

}  // namespace Bench
}  // namespace ZOLT
