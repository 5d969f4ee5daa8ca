#include "imaging/webp_file.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <webp/decode.h>
#include <webp/demux.h>

#include "imaging/picture_decode.h"
#include "platform/platform.h"

namespace qm::webp {

namespace {

// The most a file may be: the RIFF container's own limit.
constexpr std::uint64_t kMaxFileBytes = 0xFFFFFFFFu;

void ReportError(const char* text) {
    CurrentPlatform().shell.MessageBox(false, text, "WebP Error", BoxIcon::Error);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The file's bytes, or false after a box. The size is asked first and
// counted against the cap before anything is read.
bool ReadWhole(const std::string& path, std::unique_ptr<std::uint8_t[]>& data, std::size_t& size) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        CurrentPlatform().shell.AppMessageBox("WebP :\nCan't open " + path + "\n", BoxIcon::None);
        return false;
    }
    std::uint64_t bytes = 0;
#ifdef _WIN32
    const bool sized = _fseeki64(file.get(), 0, SEEK_END) == 0 &&
                       (bytes = static_cast<std::uint64_t>(_ftelli64(file.get()))) != ~std::uint64_t{0};
#else
    const off_t end = fseeko(file.get(), 0, SEEK_END) == 0 ? ftello(file.get()) : -1;
    const bool sized = end >= 0;
    bytes = sized ? static_cast<std::uint64_t>(end) : 0;
#endif
    if (!sized || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        ReportError(StatusText(VP8_STATUS_NOT_ENOUGH_DATA));
        return false;
    }
    if (bytes > kMaxFileBytes || !picture::FitsMemoryCap(0, bytes)) {
        picture::ReportOutOfMemory("WebpFile");
        return false;
    }
    size = static_cast<std::size_t>(bytes);
    data.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!data) {
        picture::ReportOutOfMemory("WebpFile");
        return false;
    }
    if (std::fread(data.get(), 1, size, file.get()) != size) {
        ReportError(StatusText(VP8_STATUS_NOT_ENOUGH_DATA));
        return false;
    }
    return true;
}

// Hands the decoded picture (top line first, `channels` bytes a pixel,
// alpha last when 4) to the sink line by line.
bool Deliver(const std::uint8_t* pixels, std::size_t stride, std::uint32_t width,
             std::uint32_t height, int channels, const jpeg::RowSink& sink,
             std::uint32_t backgroundColour) {
    std::uint8_t background[3];
    picture::BackgroundBytes(backgroundColour, sink.bgr, background);
    std::unique_ptr<std::uint8_t[]> spare;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* dest = sink.target ? sink.target(sink.context, y) : nullptr;
        if (dest == nullptr) {
            if (!spare) {
                spare.reset(new (std::nothrow) std::uint8_t[std::size_t{width} * 3]);
                if (!spare) {
                    picture::ReportOutOfMemory("WebpFile");
                    return false;
                }
            }
            dest = spare.get();
        }
        const std::uint8_t* line = pixels + y * stride;
        if (channels == 4) {
            picture::CompositeRow(line, width, dest, background);
        } else {
            std::memcpy(dest, line, std::size_t{width} * 3);
        }
        if (!sink.row(sink.context, dest, y)) {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* StatusText(int status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "Out of memory";
        case VP8_STATUS_INVALID_PARAM:
            return "Invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "Bitstream error: not a WebP file, or a damaged one";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "Unsupported feature";
        case VP8_STATUS_SUSPENDED:
            return "Decoding suspended";
        case VP8_STATUS_USER_ABORT:
            return "Decoding aborted";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "Not enough data: the file is cut short";
        default:
            return "Unknown error";
    }
}

bool Decode(const std::string& path, const jpeg::RowSink& sink, std::uint32_t background) {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    if (!ReadWhole(path, data, size)) {
        return false;
    }
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data.get(), size, &features);
    if (status != VP8_STATUS_OK) {
        ReportError(StatusText(status));
        return false;
    }
    // For an animation, the canvas the frames are laid on.
    const std::uint32_t width = static_cast<std::uint32_t>(features.width);
    const std::uint32_t height = static_cast<std::uint32_t>(features.height);
    std::size_t held = 0;
    if (features.width <= 0 || features.height <= 0 || jpeg::RgbBufferSize(width, height) == 0) {
        picture::ReportOutOfMemory("WebpFile");
        return false;
    }
    if (!sink.begin(sink.context, width, height, &held)) {
        return false;
    }
    const std::uint64_t pixels = std::uint64_t{width} * height;
    const bool animated = features.has_animation != 0;
    const bool alpha = features.has_alpha != 0 || animated;
    const int channels = alpha ? 4 : 3;
    // What the library holds beside the file: the picture, and for a
    // lossless picture its own 32-bit copy of it; an animation keeps two
    // canvases and decodes each frame into a third.
    const std::uint64_t working = animated ? pixels * 4 * 3
                                  : pixels * channels + (features.format == 2 ? pixels * 4 : 0);
    if (!picture::FitsMemoryCap(held, size + working)) {
        picture::ReportOutOfMemory("WebpFile");
        return false;
    }

    if (animated) {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) {
            ReportError(StatusText(VP8_STATUS_INVALID_PARAM));
            return false;
        }
        options.color_mode = sink.bgr ? MODE_BGRA : MODE_RGBA;
        options.use_threads = 0;
        WebPData webpData{data.get(), size};
        std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
            WebPAnimDecoderNew(&webpData, &options));
        std::uint8_t* frame = nullptr;
        int timestamp = 0;
        if (!decoder || !WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) {
            ReportError(StatusText(VP8_STATUS_BITSTREAM_ERROR));
            return false;
        }
        return Deliver(frame, std::size_t{width} * 4, width, height, 4, sink, background);
    }

    const std::size_t stride = std::size_t{width} * static_cast<std::size_t>(channels);
    std::unique_ptr<std::uint8_t[]> decoded(new (std::nothrow) std::uint8_t[stride * height]);
    if (!decoded) {
        picture::ReportOutOfMemory("WebpFile");
        return false;
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        ReportError(StatusText(VP8_STATUS_INVALID_PARAM));
        return false;
    }
    config.output.colorspace =
        alpha ? (sink.bgr ? MODE_BGRA : MODE_RGBA) : (sink.bgr ? MODE_BGR : MODE_RGB);
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = decoded.get();
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * height;
    const VP8StatusCode result = WebPDecode(data.get(), size, &config);
    WebPFreeDecBuffer(&config.output);
    if (result != VP8_STATUS_OK) {
        ReportError(StatusText(result));
        return false;
    }
    data.reset();
    return Deliver(decoded.get(), stride, width, height, channels, sink, background);
}

}  // namespace qm::webp
