#include "res/icon_drawing.h"

namespace qm::icon {

const std::uint8_t kPalette[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

namespace {

enum Colour : std::uint8_t {
    kBlack = 0,
    kDarkGreen = 2,
    kGrey = 8,
    kLime = 10,
    kYellow = 11,
    kAqua = 14,
};

bool Inside(double u, double v, double cu, double cv, double r) {
    return (u - cu) * (u - cu) + (v - cv) * (v - cv) <= r * r;
}

}  // namespace

std::uint8_t PixelIndex(int x, int y, int n) {
    const int border = n / 16;  // 1 pixel at 16, 2 at 32
    if (x < border || y < border || x >= n - border || y >= n - border) {
        return kBlack;
    }
    // A second, grey ring: the frame's inner edge.
    if (x == border || y == border || x == n - border - 1 || y == n - border - 1) {
        return kGrey;
    }
    const double u = (x + 0.5) / n;
    const double v = (y + 0.5) / n;
    if (Inside(u, v, 0.35, 1.05, 0.50)) {
        return kDarkGreen;  // near hill
    }
    if (Inside(u, v, 0.90, 1.10, 0.50)) {
        return kLime;  // far hill
    }
    if (Inside(u, v, 0.68, 0.33, 0.15)) {
        return kYellow;  // sun
    }
    return kAqua;
}

}  // namespace qm::icon
