// Helpers of the desktop tests, which run inside a session of their own
// (run-in-session.sh): the desktops' own command-line clients as independent
// readers and writers, and small pictures.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktops/wallpaper_desktop.h"

class QImage;

namespace qm::test {

// The process that owns a name on the session bus; 0 when none does.
int ServicePid(const char* name);

// Runs the event loop until `done` holds; false when `ms` passed first.
bool WaitUntil(const std::function<bool()>& done, int ms = 10000);

// Hands the picture to the desktop and runs the event loop until it
// answered: whether it was shown, and in `why` its words.
bool ApplyAndWait(desktops::WallpaperDesktop& desktop, const std::string& path,
                  desktops::Layout layout, std::string& why);

// Runs a program with its arguments (no shell), returns what it printed on
// standard output without the final newline; `status` gets its exit status.
std::string RunProgram(const std::vector<std::string>& argv, int* status = nullptr);

// A 24-bit bottom-up BMP file's bytes, as the wallpaper writer makes them;
// `pixel(x, y)` gives 0xRRGGBB.
std::string Bmp(int width, int height, const std::function<std::uint32_t(int x, int y)>& pixel);

// A 40x30 picture's pixel (0xRRGGBB): four quadrants of their own colour.
std::uint32_t Quadrant(int x, int y);
// A 40x20 picture's pixel (0xRRGGBB): four bands across, two rows down,
// eight colours of their own; 2:1, so that filling and fitting a 4:3 screen
// differ from stretching.
std::uint32_t Banded(int x, int y);
// The picture WrongPixels checks a layout with: the Quadrant picture, or
// for Filled and Fitted the Banded one.
std::string PictureFor(desktops::Layout layout);
// What a 320x240 screen shows wrong for PictureFor(layout) in `layout`, at
// places that tell the layouts apart (clear of the edges a scaling filter
// blends; fitted, the bars above and below must show none of the picture's
// colours); empty when it shows it right.
std::string WrongPixels(const QImage& screen, desktops::Layout layout);

}  // namespace qm::test
