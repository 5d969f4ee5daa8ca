// make-photo-jpeg OUT.jpg WIDTH HEIGHT [progressive|baseline] [QUALITY] [SEED] [444] [declare=WxH]
// Writes a deterministic picture that codes like a photograph.
// Without SEED (or SEED 0): the benchmark's picture, smooth lighting
// gradients, mid-frequency texture and sensor-like noise, so that timings
// reflect real entropy-coded data rather than flat colour; it stays the same
// so that benchmark figures stay comparable.
// With a SEED: a landscape (sky with sun and clouds, hazy ridges, a lake
// that mirrors them), one per seed, for sample folders a person looks at.
//   444          no chroma subsampling (as photo editors save at high
//                quality): the most coefficients a progressive decode holds
//   declare=WxH  the frame header then claims W x H: a small real file that
//                declares a huge picture, as a hostile download would
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

// Rewrites the size in the stream's first frame header (SOF0..SOF15 but
// DHT, JPG and DAC); false when there is none.
bool Declare(unsigned char* data, unsigned long size, unsigned width, unsigned height) {
    for (unsigned long at = 2; at + 9 <= size && data[at] == 0xFF;
         at += 2 + (unsigned(data[at + 2]) << 8 | data[at + 3])) {
        const unsigned code = data[at + 1];
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            data[at + 5] = static_cast<unsigned char>(height >> 8);
            data[at + 6] = static_cast<unsigned char>(height);
            data[at + 7] = static_cast<unsigned char>(width >> 8);
            data[at + 8] = static_cast<unsigned char>(width);
            return true;
        }
    }
    return false;
}

unsigned char Clamp(double v) {
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
}

struct Rgb {
    double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(const Rgb& c, double k) { return {c.r * k, c.g * k, c.b * k}; }

// Lattice value noise: a hash of the cell and the seed, smoothly interpolated.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : seed_(seed) {}

    double Value(double x, double y) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
        const double tx = Smooth(x - fx), ty = Smooth(y - fy);
        const double top = Lerp(Hash(ix, iy), Hash(ix + 1, iy), tx);
        const double bottom = Lerp(Hash(ix, iy + 1), Hash(ix + 1, iy + 1), tx);
        return Lerp(top, bottom, ty);
    }

    // Fractal sum of octaves, about 0..1.
    double Fbm(double x, double y, int octaves) const {
        double sum = 0, amplitude = 0.5, total = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += amplitude * Value(x, y + i * 17.3);
            total += amplitude;
            x *= 2.03;
            y *= 2.03;
            amplitude *= 0.5;
        }
        return sum / total;
    }

private:
    static double Smooth(double t) { return t * t * (3 - 2 * t); }
    static double Lerp(double a, double b, double t) { return a + (b - a) * t; }
    double Hash(std::int32_t x, std::int32_t y) const {
        std::uint32_t h = seed_ ^ (static_cast<std::uint32_t>(x) * 0x8DA6B343u) ^
                          (static_cast<std::uint32_t>(y) * 0xD8163841u);
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        h *= 0x297A2D39u;
        h ^= h >> 15;
        return static_cast<double>(h & 0xFFFFFF) / 0xFFFFFF;
    }
    std::uint32_t seed_;
};

// The light of one scene: the seed picks it, and the places of things.
struct Scene {
    Rgb zenith, horizon, sun, cloud, far_ridge, near_ridge, water;
    double sun_x, sun_y, horizon_y, shore_y;
    double ridge_base[3], ridge_height[3];
};

Scene MakeScene(std::uint32_t seed, const Noise& noise) {
    static const Scene kLights[] = {
        // Clear midday.
        {{38, 92, 172}, {176, 206, 232}, {255, 250, 235}, {250, 250, 252},
         {128, 148, 178}, {44, 76, 52}, {30, 70, 96}, 0, 0, 0, 0, {}, {}},
        // Sunset.
        {{34, 40, 96}, {252, 150, 80}, {255, 226, 160}, {244, 150, 140},
         {112, 78, 120}, {32, 26, 42}, {40, 30, 60}, 0, 0, 0, 0, {}, {}},
        // Hazy morning.
        {{92, 142, 204}, {240, 214, 178}, {255, 244, 214}, {246, 236, 226},
         {150, 160, 184}, {58, 82, 62}, {70, 96, 110}, 0, 0, 0, 0, {}, {}},
    };
    Scene s = kLights[seed % 3];
    const auto pick = [&](double i, double lo, double hi) { return lo + (hi - lo) * noise.Value(i, 91.7); };
    s.sun_x = pick(1.5, 0.2, 0.8);
    s.sun_y = seed % 3 == 1 ? pick(2.5, 0.42, 0.52) : pick(2.5, 0.1, 0.3);
    s.horizon_y = pick(3.5, 0.52, 0.6);
    s.shore_y = s.horizon_y + pick(4.5, 0.14, 0.2);
    for (int i = 0; i < 3; ++i) {
        s.ridge_base[i] = s.horizon_y + 0.05 * i;
        s.ridge_height[i] = pick(5.5 + i, 0.12, 0.24) * (1.0 - 0.25 * i);
    }
    return s;
}

// The scene above the water at (u, y): u runs 0..aspect across, y 0..1 down.
Rgb Land(const Scene& s, const Noise& noise, double u, double y, double aspect) {
    const double dx = u - s.sun_x * aspect, dy = y - s.sun_y;
    const double sun_distance = std::sqrt(dx * dx + dy * dy);
    // Sky: a gradient to a bright horizon, the sun's glow, soft clouds.
    Rgb c = Mix(s.zenith, s.horizon, std::pow(y / s.horizon_y, 1.6));
    c = Mix(c, s.sun, std::exp(-sun_distance * 7.0) * 0.9);
    if (sun_distance < 0.035) {
        c = s.sun;
    }
    const double cloud = noise.Fbm(u * 2.2, y * 7.0, 6);
    const double cover = std::clamp((cloud - 0.52) * 3.0, 0.0, 1.0) * (1.0 - y / s.horizon_y);
    c = Mix(c, Mix(s.cloud, Scale(s.cloud, 0.7), noise.Fbm(u * 9, y * 20, 3)), cover * 0.85);

    // Ridges, far to near: a jagged outline, haze that thins with nearness,
    // and rock and forest texture on the nearer ones.
    for (int i = 0; i < 3; ++i) {
        const double f = 1.8 + 1.6 * i;
        const double outline = s.ridge_base[i] -
                               s.ridge_height[i] * (noise.Fbm(u * f + 40.0 * i, 3.0 + i, 6) * 1.6 - 0.3);
        if (y < outline) {
            continue;
        }
        const double nearness = i / 2.0;
        Rgb ground = Mix(s.far_ridge, s.near_ridge, nearness);
        const double texture = noise.Fbm(u * (14 + 30 * i), y * (14 + 30 * i), 5);
        ground = Scale(ground, 0.75 + 0.5 * texture);
        // Lit from the sun's side, darker down the slope.
        ground = Scale(ground, 1.0 - 0.35 * std::clamp((y - outline) * 4.0, 0.0, 1.0));
        c = Mix(ground, s.horizon, 0.55 * (1.0 - nearness) * (1.0 - (y - outline) * 2.0));
    }
    return c;
}

Rgb Landscape(const Scene& s, const Noise& noise, double u, double y, double aspect) {
    if (y < s.shore_y) {
        return Land(s, noise, u, y, aspect);
    }
    // The lake mirrors what stands above its shore, broken by ripples that
    // grow towards the viewer.
    const double depth = (y - s.shore_y) / (1.0 - s.shore_y);
    const double ripple = (noise.Fbm(u * 3.0, y * 90.0, 3) - 0.5) * 0.04 * (0.3 + depth);
    const double mirrored = std::max(0.0, 2 * s.shore_y - y + ripple * 0.5);
    Rgb c = Land(s, noise, u + ripple, mirrored, aspect);
    c = Mix(Scale(c, 0.82), s.water, 0.25 + 0.45 * depth);
    const double glint = noise.Value(u * 40.0, y * 400.0);
    return Mix(c, s.sun, glint > 0.93 ? 0.35 * (1.0 - depth) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-photo-jpeg OUT.jpg WIDTH HEIGHT [progressive|baseline] "
                             "[QUALITY] [SEED] [444] [declare=WxH]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const bool progressive = argc > 4 && std::strcmp(argv[4], "progressive") == 0;
    const int quality = argc > 5 ? std::atoi(argv[5]) : 90;
    std::uint32_t seed = 0;
    bool full = false;
    unsigned declaredWidth = 0, declaredHeight = 0;
    for (int i = 6; i < argc; ++i) {
        if (std::strcmp(argv[i], "444") == 0) {
            full = true;
        } else if (std::strncmp(argv[i], "declare=", 8) == 0) {
            if (std::sscanf(argv[i], "declare=%ux%u", &declaredWidth, &declaredHeight) != 2 ||
                declaredWidth == 0 || declaredWidth > 65535 || declaredHeight == 0 ||
                declaredHeight > 65535) {
                std::fprintf(stderr, "bad option %s\n", argv[i]);
                return 2;
            }
        } else if (i == 6 && argv[i][0] >= '0' && argv[i][0] <= '9') {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10));
        } else {
            std::fprintf(stderr, "bad option %s\n", argv[i]);
            return 2;
        }
    }
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "bad size\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }

    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // default error_exit ends the process
    jpeg_create_compress(&cinfo);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &bytes, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (full) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    }
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);

    const Noise noise(seed * 0x9E3779B9u);
    const Scene scene = MakeScene(seed, noise);
    const double aspect = static_cast<double>(width) / height;
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    std::uint32_t state = 0x9E3779B9u ^ seed;
    while (cinfo.next_scanline < cinfo.image_height) {
        const double y = static_cast<double>(cinfo.next_scanline) / height;
        for (int ix = 0; ix < width; ++ix) {
            const double x = static_cast<double>(ix) / width;
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const double noise_level = static_cast<double>(state & 0xFF) / 255.0 * 16.0 - 8.0;
            unsigned char* p = row.data() + static_cast<std::size_t>(ix) * 3;
            if (seed != 0) {
                // A lens's vignette and a sensor's grain, softer than the
                // benchmark's.
                const double vignette = 1.0 - 0.35 * ((x - 0.5) * (x - 0.5) + (y - 0.5) * (y - 0.5));
                const Rgb c = Scale(Landscape(scene, noise, x * aspect, y, aspect), vignette);
                const double grain = noise_level * 0.4;
                p[0] = Clamp(c.r + grain);
                p[1] = Clamp(c.g + grain);
                p[2] = Clamp(c.b + grain);
                continue;
            }
            // Sky-to-ground lighting, a soft vignette and some leafy texture.
            const double light = 1.0 - 0.5 * ((x - 0.5) * (x - 0.5) + (y - 0.5) * (y - 0.5));
            const double texture = 24.0 * std::sin(ix * 0.07 + std::sin(cinfo.next_scanline * 0.05) * 3.0) *
                                   std::cos(cinfo.next_scanline * 0.031 + x * 9.0);
            p[0] = Clamp((90 + 120 * y) * light + texture + noise_level);
            p[1] = Clamp((140 + 60 * x - 40 * y) * light + texture * 0.8 + noise_level);
            p[2] = Clamp((220 - 170 * y) * light - texture * 0.5 + noise_level);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (declaredWidth != 0 && !Declare(bytes, size, declaredWidth, declaredHeight)) {
        std::fprintf(stderr, "no frame header\n");
        return 1;
    }
    const bool written = std::fwrite(bytes, 1, size, out) == size;
    std::free(bytes);
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
