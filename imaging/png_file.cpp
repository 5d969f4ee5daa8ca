#include "imaging/png_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <png.h>

#include "imaging/picture_decode.h"
#include "platform/platform.h"

namespace qm::png {

namespace {

// Everything the decoder touches between setjmp and a longjmp lives here,
// in the caller's frame, and is released by plain C calls.
struct DecodeState {
    png_structp png;
    png_infop info;
    std::FILE* file;
    const jpeg::RowSink* sink;
    std::uint32_t background;
    std::uint8_t* line;      // one line with alpha
    std::uint8_t* picture;   // a whole interlaced picture
    png_bytep* rows;
    std::uint8_t* spare;     // a line for a sink that gives no target
    char warning[256];       // the warnings so far, which may say why an error came
};

void PngError(png_structp png, png_const_charp message) {
    const DecodeState* s = static_cast<const DecodeState*>(png_get_error_ptr(png));
    // The header check gives its reasons (a size over the limit) as warnings
    // and then fails in general words: the reason goes first.
    const bool withReason = s->warning[0] != '\0' && std::strcmp(message, "Invalid IHDR data") == 0;
    // The box's string temporaries die with this statement, before the jump.
    CurrentPlatform().shell.MessageBox(
        false, withReason ? std::string(s->warning) + "\n" + message : std::string(message),
        "PNG Error", BoxIcon::Error);
    png_longjmp(png, 1);
}

// Warnings are about ancillary chunks (a colour profile, text) that are
// dropped; the picture itself is whole, so nobody is bothered with them.
void PngWarning(png_structp png, png_const_charp message) {
    DecodeState* s = static_cast<DecodeState*>(png_get_error_ptr(png));
    const std::size_t used = std::strlen(s->warning);
    std::snprintf(s->warning + used, sizeof s->warning - used, "%s%s", used != 0 ? "\n" : "", message);
}

void Release(DecodeState* s) {
    std::free(s->spare);
    std::free(s->rows);
    std::free(s->picture);
    std::free(s->line);
    png_destroy_read_struct(&s->png, &s->info, nullptr);
    std::fclose(s->file);
}

bool DecodeOpenFile(DecodeState* s) {
    if (setjmp(png_jmpbuf(s->png))) {
        Release(s);
        return false;
    }
    png_structp png = s->png;
    png_infop info = s->info;
    png_init_io(png, s->file);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kChunkMemoryMax);
    png_set_chunk_cache_max(png, 128);
    png_read_info(png, info);

    const std::uint32_t width = png_get_image_width(png, info);
    const std::uint32_t height = png_get_image_height(png, info);
    const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                       png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    // Palette to colours, grey under 8 bits to 8, a transparent colour to
    // alpha; 16 bits to their high byte; grey to three channels.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    if (s->sink->bgr) {
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t channels = alpha ? 4 : 3;
    if (png_get_rowbytes(png, info) != width * channels) {
        png_error(png, "Unexpected row size after transformations");
    }

    // No BMP holds it: refused before the sink or the library buffers
    // anything. Then the sink's own refusals (its buffer, free space).
    std::size_t held = 0;
    bool ok = jpeg::RgbBufferSize(width, height) != 0;
    if (!ok) {
        picture::ReportOutOfMemory("PngFile");
    } else {
        ok = s->sink->begin(s->sink->context, width, height, &held);
    }
    std::uint8_t background[3];
    picture::BackgroundBytes(s->background, s->sink->bgr, background);
    if (ok && alpha) {
        s->line = static_cast<std::uint8_t*>(std::malloc(std::size_t{width} * channels));
        ok = s->line != nullptr;
        if (!ok) {
            picture::ReportOutOfMemory("PngFile");
        }
    }
    if (ok && interlaced) {
        // Adam7 fills every line seven times over: the whole picture is held,
        // within the same budget as any decode.
        const std::uint64_t bytes = std::uint64_t{width} * height * channels;
        if (picture::FitsMemoryCap(held, bytes + std::uint64_t{height} * sizeof(png_bytep))) {
            s->picture = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bytes)));
            s->rows = static_cast<png_bytep*>(std::malloc(std::size_t{height} * sizeof(png_bytep)));
        }
        ok = s->picture != nullptr && s->rows != nullptr;
        if (!ok) {
            picture::ReportOutOfMemory("PngFile");
        } else {
            for (std::uint32_t y = 0; y < height; ++y) {
                s->rows[y] = s->picture + std::size_t{y} * width * channels;
            }
            png_read_image(png, s->rows);
        }
    }
    for (std::uint32_t y = 0; ok && y < height; ++y) {
        std::uint8_t* dest = s->sink->target ? s->sink->target(s->sink->context, y) : nullptr;
        if (dest == nullptr) {
            if (s->spare == nullptr) {
                s->spare = static_cast<std::uint8_t*>(std::malloc(std::size_t{width} * 3));
                if (s->spare == nullptr) {
                    picture::ReportOutOfMemory("PngFile");
                    ok = false;
                    break;
                }
            }
            dest = s->spare;
        }
        std::uint8_t* decoded;
        if (interlaced) {
            decoded = s->rows[y];
        } else {
            decoded = alpha ? s->line : dest;
            png_read_row(png, decoded, nullptr);
        }

        if (alpha) {
            picture::CompositeRow(decoded, width, dest, background);
        } else if (decoded != dest) {
            std::memcpy(dest, decoded, std::size_t{width} * 3);
        }
        ok = s->sink->row(s->sink->context, dest, y);
    }
    // The chunks after the picture are not read: a stream that goes on
    // inflating past the last line would only cost time.
    Release(s);
    return ok;
}

}  // namespace

bool Decode(const std::string& path, const jpeg::RowSink& sink, std::uint32_t background) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        CurrentPlatform().shell.AppMessageBox("PNG :\nCan't open " + path + "\n", BoxIcon::None);
        return false;
    }
    DecodeState state;
    std::memset(&state, 0, sizeof state);
    state.file = file;
    state.sink = &sink;
    state.background = background;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    if (state.png != nullptr) {
        state.info = png_create_info_struct(state.png);
    }
    if (state.png == nullptr || state.info == nullptr) {
        png_destroy_read_struct(&state.png, nullptr, nullptr);
        std::fclose(file);
        picture::ReportOutOfMemory("PngFile");
        return false;
    }
    return DecodeOpenFile(&state);
}

}  // namespace qm::png
