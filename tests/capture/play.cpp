// play GESTURE...: plays a user's pointer on the first output of the Wayland compositor, with
// the backend's own virtual pointer.
//   play drag X,Y X,Y         press the left button at one point, drag to the other, release
//   play right-click X,Y
//   play wheel X,Y N          N wheel clicks there, downwards (negative: upwards)
#include "VirtualPointer.h"
#include "WaylandDisplay.h"

#include <ZOLT/Capture/CaptureError.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

void Pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void Press(const Wayland::VirtualPointer& pointer, unsigned button, const cv::Point& from, const cv::Point& to)
{
    pointer.Button(button, true);
    for (int step = 1; step <= 4 && to != from; ++step) {
        Pause();
        pointer.MoveTo(from + (to - from) * step / 4);
    }
    Pause();
    pointer.Button(button, false);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string gesture = argc > 2 ? argv[1] : "";
    const bool known = (gesture == "drag" && argc == 4) || (gesture == "right-click" && argc == 3) ||
                       (gesture == "wheel" && argc == 4);
    if (!known) {
        std::fprintf(stderr, "usage: play drag X,Y X,Y | play right-click X,Y | play wheel X,Y N\n");
        return 2;
    }
    try {
        const Wayland::WaylandDisplay display;
        const Wayland::VirtualPointer pointer(display, *display.Outputs().front());
        const cv::Point at = PointOf(argv[2]);
        pointer.MoveTo(at);
        display.Roundtrip();
        Pause();
        if (gesture == "wheel") {
            const int clicks = std::atoi(argv[3]);
            pointer.Wheel(Axis::Rows, clicks < 0, std::abs(clicks));
        } else {
            Press(pointer, gesture == "drag" ? BTN_LEFT : BTN_RIGHT, at, gesture == "drag" ? PointOf(argv[3]) : at);
        }
        return 0;
    } catch (const CaptureError& error) {
        std::fprintf(stderr, "play: %s\n", error.what());
        return 1;
    }
}
