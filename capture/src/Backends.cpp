#include <ZOLT/Capture/Backends.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

// Each backend's folder has a private header declaring its one factory, OpenBackend().
#ifdef ZOLT_CAPTURE_WITH_WAYLAND
#  include "wayland/WaylandBackend.h"
#endif
#ifdef ZOLT_CAPTURE_WITH_X11
#  include "x11/X11Backend.h"
#endif

namespace ZOLT {
namespace Capture {

namespace {

struct BackendEntry {
    const char* name;
    std::unique_ptr<ICaptureBackend> (*open)();
};

/// The registry: one line per backend, in order of preference.
const std::vector<BackendEntry>& Registry()
{
    static const std::vector<BackendEntry> entries = {
#ifdef ZOLT_CAPTURE_WITH_WAYLAND
        {"wayland", Wayland::OpenBackend},
#endif
#ifdef ZOLT_CAPTURE_WITH_X11
        {"x11", X11::OpenBackend},
#endif
    };
    return entries;
}

bool IsAvailable(const std::string& name)
{
    const std::vector<BackendEntry>& entries = Registry();
    return std::any_of(entries.begin(), entries.end(), [&](const BackendEntry& entry) { return name == entry.name; });
}

std::string Variable(const char* name)
{
    const char* const value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

}  // namespace

SessionEnvironment SessionEnvironment::FromProcess()
{
    return SessionEnvironment{Variable("WAYLAND_DISPLAY"), Variable("XDG_SESSION_TYPE"), Variable("DISPLAY")};
}

std::vector<std::string> AvailableBackends()
{
    std::vector<std::string> names;
    for (const BackendEntry& entry : Registry()) {
        names.push_back(entry.name);
    }
    return names;
}

std::string ChooseBackend(const SessionEnvironment& session)
{
    const bool wayland =
        session.sessionType == "wayland" || (!session.waylandDisplay.empty() && session.sessionType != "x11");
    const char* const preferred = wayland ? "wayland" : "x11";
    const char* const other = wayland ? "x11" : "wayland";
    if (IsAvailable(preferred)) {
        return preferred;
    }
    return IsAvailable(other) ? other : std::string();
}

std::unique_ptr<ICaptureBackend> OpenBackend(const std::string& name)
{
    for (const BackendEntry& entry : Registry()) {
        if (name == entry.name) {
            return entry.open();
        }
    }
    throw std::invalid_argument("no capture backend named '" + name + "' is built in");
}

}  // namespace Capture
}  // namespace ZOLT
