// Writes the program's icon: a framed landscape (sky, sun, two hills inside
// a dark border) at 16 x 16 and 32 x 32, 16 colours each, fully opaque.
//   make-icon <output.ico>
// The result is committed as res/quillmere.ico; rerun this after changing
// the drawing.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// The standard 16-colour palette, as red, green, blue.
constexpr std::uint8_t kPalette[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

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

// Palette index of pixel (x, y), y counted from the top, in an n x n image.
std::uint8_t Pixel(int x, int y, int n) {
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

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), palette,
// 4-bit colour rows and 1-bit AND-mask rows, both bottom-up and padded to
// 4 bytes.
std::vector<std::uint8_t> Image(int n) {
    const unsigned xorStride = ((n * 4 + 31) / 32) * 4;
    const unsigned andStride = ((n + 31) / 32) * 4;
    const unsigned pixelBytes = (xorStride + andStride) * n;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(n));
    Put32(out, static_cast<std::uint32_t>(2 * n));
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, 0);  // uncompressed
    Put32(out, pixelBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (const auto& c : kPalette) {
        out.push_back(c[2]);
        out.push_back(c[1]);
        out.push_back(c[0]);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(xorStride, 0);
        for (int x = 0; x < n; ++x) {
            const std::uint8_t p = Pixel(x, y, n);
            row[x / 2] |= (x % 2 == 0) ? static_cast<std::uint8_t>(p << 4) : p;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    // An all-zero mask: every pixel opaque.
    out.insert(out.end(), static_cast<std::size_t>(andStride) * n, 0);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon <output.ico>\n");
        return 2;
    }
    const int sizes[] = {16, 32};
    std::vector<std::vector<std::uint8_t>> images;
    for (int n : sizes) {
        images.push_back(Image(n));
    }

    std::vector<std::uint8_t> file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // icon
    Put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(static_cast<std::uint8_t>(sizes[i]));
        file.push_back(16);  // colours
        file.push_back(0);
        Put16(file, 1);  // planes
        Put16(file, 4);  // bits per pixel
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }

    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
