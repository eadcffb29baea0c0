// pick wayland: lets the user pick a target on the backend's overlay, as --select does, and
// prints "ID X,Y,W,H" (the region in the target's pixels), or "cancelled".
// pick drag X,Y X,Y | pick right-click X,Y: plays that with a virtual pointer on the first
// output, as a user would on the overlay.
#include "VirtualPointer.h"
#include "WaylandDisplay.h"

#include <ZOLT/Capture/Backends.h>
#include <ZOLT/Capture/CaptureError.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace ZOLT::Capture;

cv::Point PointOf(const std::string& text)
{
    int x = 0;
    int y = 0;
    std::sscanf(text.c_str(), "%d,%d", &x, &y);
    return cv::Point(x, y);
}

void Play(const std::string& gesture, const cv::Point& from, const cv::Point& to)
{
    const Wayland::WaylandDisplay display;
    const Wayland::VirtualPointer pointer(display, *display.Outputs().front());
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); };
    pointer.MoveTo(from);
    display.Roundtrip();
    pause();
    const unsigned button = gesture == "drag" ? BTN_LEFT : BTN_RIGHT;
    pointer.Button(button, true);
    for (int step = 1; step <= 4 && gesture == "drag"; ++step) {
        pause();
        pointer.MoveTo(from + (to - from) * step / 4);
        display.Roundtrip();
    }
    pause();
    pointer.Button(button, false);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "drag" && argc == 4) {
            Play(command, PointOf(argv[2]), PointOf(argv[3]));
            return 0;
        }
        if (command == "right-click" && argc == 3) {
            Play(command, PointOf(argv[2]), PointOf(argv[2]));
            return 0;
        }
        if (command != "wayland" || argc != 2) {
            std::fprintf(stderr, "usage: pick wayland | pick drag X,Y X,Y | pick right-click X,Y\n");
            return 2;
        }
        const std::optional<Target> target = OpenBackend(command)->Pick();
        if (!target) {
            std::printf("cancelled\n");
            return 0;
        }
        const cv::Rect& r = target->region;
        std::printf("%llu %d,%d,%d,%d\n", static_cast<unsigned long long>(target->id), r.x, r.y, r.width, r.height);
        return 0;
    } catch (const CaptureError& error) {
        std::fprintf(stderr, "pick: %s\n", error.what());
        return 1;
    }
}
