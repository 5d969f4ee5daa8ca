#include "imaging/picture_decode.h"

#include "imaging/png_file.h"
#include "imaging/webp_file.h"
#include "platform/platform.h"

namespace qm::picture {

namespace {

bool EndsWith(const std::string& name, const char* ending) {
    const std::size_t n = std::char_traits<char>::length(ending);
    const char* tail = name.size() < n ? name.c_str() : name.c_str() + name.size() - n;
    return CurrentPlatform().system.MbsICmp(tail, ending) == 0;
}

}  // namespace

Format FormatOf(const std::string& path) {
    if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) {
        return Format::Jpeg;
    }
    if (EndsWith(path, ".png")) {
        return Format::Png;
    }
    if (EndsWith(path, ".webp")) {
        return Format::WebP;
    }
    return Format::Bmp;
}

bool IsPictureName(const std::string& name) {
    return FormatOf(name) != Format::Bmp || EndsWith(name, ".bmp");
}

std::uint32_t BackgroundColour() { return CurrentPlatform().desktop.BackgroundColour(); }

bool Decode(const std::string& path, const RowSink& sink) {
    switch (FormatOf(path)) {
        case Format::Jpeg:
            return jpeg::Decode(path, sink);
        case Format::Png:
            return png::Decode(path, sink, BackgroundColour());
        case Format::WebP:
            return webp::Decode(path, sink, BackgroundColour());
        case Format::Bmp:
            break;
    }
    return false;
}

void CompositeRow(const std::uint8_t* withAlpha, std::uint32_t width, std::uint8_t* out,
                  const std::uint8_t background[3]) {
    for (std::uint32_t x = 0; x < width; ++x, withAlpha += 4, out += 3) {
        const unsigned a = withAlpha[3];
        if (a == 255) {
            out[0] = withAlpha[0];
            out[1] = withAlpha[1];
            out[2] = withAlpha[2];
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            out[c] = static_cast<std::uint8_t>((withAlpha[c] * a + background[c] * (255 - a) + 127) / 255);
        }
    }
}

void BackgroundBytes(std::uint32_t colour, bool bgr, std::uint8_t out[3]) {
    const std::uint8_t r = static_cast<std::uint8_t>(colour >> 16);
    const std::uint8_t g = static_cast<std::uint8_t>(colour >> 8);
    const std::uint8_t b = static_cast<std::uint8_t>(colour);
    out[0] = bgr ? b : r;
    out[1] = g;
    out[2] = bgr ? r : b;
}

void ReportOutOfMemory(const char* reader) {
    jpeg::NoteRefusedForMemory();
    CurrentPlatform().shell.AppMessageBox(std::string(reader) + " :\nOut of memory", BoxIcon::Error);
}

bool FitsMemoryCap(std::size_t held, std::uint64_t extra) {
    const std::uint64_t cap = jpeg::DecodeMemoryCap();
    return held <= cap && extra <= cap - held;
}

}  // namespace qm::picture
