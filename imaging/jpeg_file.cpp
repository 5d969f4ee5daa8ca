#include "imaging/jpeg_file.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
// After jpeglib.h: the message codes, for an error of our own finding.
#include <jerror.h>

#include "imaging/jpeg_decode.h"
#include "platform/file_access.h"
#include "platform/platform.h"

namespace qm {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// The library is C and not built with unwinding tables, so a C++ exception
// may not pass through it; we jump back to the decoder's frame instead.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf recovery;
};

void JpegErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    // Beyond max_memory_to_use, the library asks for a backing store.
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE || cinfo->err->msg_code == JERR_OUT_OF_MEMORY) {
        jpeg::NoteRefusedForMemory();
    }
    // The box's string temporaries die with this statement, before the jump.
    CurrentPlatform().shell.MessageBox(false, message, "JPEG Fatal Error", BoxIcon::Error);
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->recovery, 1);
}

// Warnings only. With the library's default trace level it calls this for
// the first warning of an image and merely counts the rest.
void JpegOutputMessage(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    CurrentPlatform().shell.MessageBox(true, message, "JPEG Error", BoxIcon::None);
}

// Everything the decoder touches lives here, in the caller's frame, so that
// nothing local to the function that calls setjmp changes between the
// setjmp and a longjmp.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    JpegErrorManager jerr;
    std::FILE* file;
    const jpeg::RowSink* sink;
};

// CMYK (and YCCK, which the library turns back into CMYK) to RGB. Files
// carrying an Adobe marker store the inks inverted, as Photoshop writes
// them; others store plain ink amounts.
void CmykRowToRgb(const JSAMPLE* src, std::uint32_t width, std::uint8_t* dest, bool inverted) {
    for (std::uint32_t x = 0; x < width; ++x, src += 4, dest += 3) {
        unsigned c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dest[0] = static_cast<std::uint8_t>((c * k + 127) / 255);
        dest[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        dest[2] = static_cast<std::uint8_t>((y * k + 127) / 255);
    }
}

// The part that may be jumped back into: raw pointers and PODs only.
// Always destroys the decompressor and closes the file.
bool DecodeOpenFile(DecodeState* s) {
    s->cinfo.err = jpeg_std_error(&s->jerr.pub);
    s->jerr.pub.error_exit = JpegErrorExit;
    s->jerr.pub.output_message = JpegOutputMessage;
    if (setjmp(s->jerr.recovery)) {
        jpeg_destroy_decompress(&s->cinfo);
        std::fclose(s->file);
        return false;
    }

    jpeg_create_decompress(&s->cinfo);
    jpeg_stdio_src(&s->cinfo, s->file);
    jpeg_read_header(&s->cinfo, TRUE);
    if (s->sink->denominator != nullptr) {
        const unsigned d =
            s->sink->denominator(s->sink->context, s->cinfo.image_width, s->cinfo.image_height);
        if (d == 2 || d == 4 || d == 8) {
            s->cinfo.scale_num = 1;
            s->cinfo.scale_denom = d;
        }
    }
    bool swapHere = s->sink->bgr;
#ifdef JCS_EXTENSIONS
    // libjpeg-turbo can write blue first itself, at no cost.
    if (s->sink->bgr && s->cinfo.out_color_space == JCS_RGB) {
        s->cinfo.out_color_space = JCS_EXT_BGR;
        swapHere = false;
    }
#endif
    // Grey, RGB and CMYK (YCCK arrives as CMYK) are what the lines below turn
    // into RGB. Any other count, such as a two-component picture in no known
    // colour space, would leave every line unwritten: refuse it as the
    // library refuses a conversion it lacks, before anything is decoded (a
    // progressive picture is, whole, by the start) or written.
    jpeg_calc_output_dimensions(&s->cinfo);
    if (s->cinfo.out_color_components != 1 && s->cinfo.out_color_components != 3 &&
        s->cinfo.out_color_components != 4) {
        ERREXIT(&s->cinfo, JERR_CONVERSION_NOTIMPL);
    }

    // The output size is known now, and nothing is buffered yet: a
    // progressive picture is taken in whole by jpeg_start_decompress, so a
    // tiny file declaring 65500 x 65500 would hold gigabytes for a minute
    // before a later check. Refuse what no BMP can hold, and let the sink
    // refuse what it cannot take, before that; then cap what the library
    // may hold, which it refuses at once with its own message.
    const std::uint32_t width = s->cinfo.output_width;
    std::size_t held = 0;
    bool ok = jpeg::RgbBufferSize(width, s->cinfo.output_height) != 0;
    if (!ok) {
        jpeg::ReportOutOfMemory();
    } else {
        ok = s->sink->begin(s->sink->context, width, s->cinfo.output_height, &held);
    }
    if (ok) {
        // 0 would mean no limit at all.
        const std::size_t cap = jpeg::DecodeMemoryCap();
        s->cinfo.mem->max_memory_to_use = static_cast<long>(held < cap ? cap - held : 1);
        jpeg_start_decompress(&s->cinfo);
        j_common_ptr common = reinterpret_cast<j_common_ptr>(&s->cinfo);
        JSAMPARRAY line = (*s->cinfo.mem->alloc_sarray)(
            common, JPOOL_IMAGE, s->cinfo.output_width * s->cinfo.output_components, 1);
        const int components = s->cinfo.out_color_components;
        // RGB lines go to the sink as they are; others are converted here.
        JSAMPARRAY rgb = components == 3
                             ? line
                             : (*s->cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE, width * 3, 1);
        const bool inverted = s->cinfo.saw_Adobe_marker != FALSE;
        while (ok && s->cinfo.output_scanline < s->cinfo.output_height) {
            const std::uint32_t row = s->cinfo.output_scanline;
            std::uint8_t* dest = s->sink->target ? s->sink->target(s->sink->context, row) : rgb[0];
            JSAMPROW into = components == 3 ? dest : line[0];
            jpeg_read_scanlines(&s->cinfo, &into, 1);
            if (components == 1) {
                JpegFile::ExpandGrayRow(line[0], static_cast<int>(width), dest, 0);
            } else if (components == 4) {
                CmykRowToRgb(line[0], width, dest, inverted);
            }
            if (swapHere) {
                JpegFile::SwapRedBlue(dest, width, 1);
            }
            ok = s->sink->row(s->sink->context, dest, row);
        }
        if (ok) {
            jpeg_finish_decompress(&s->cinfo);
        }
    }
    jpeg_destroy_decompress(&s->cinfo);
    std::fclose(s->file);
    return ok;
}

// DecodeToRgb's sink: the whole picture in one new[] buffer.
struct BufferSink {
    std::uint8_t* buffer;
    std::uint32_t* width;
    std::uint32_t* height;
};

bool BufferBegin(void* context, std::uint32_t width, std::uint32_t height, std::size_t* held) {
    BufferSink* b = static_cast<BufferSink*>(context);
    // The whole picture is held here, within the decode's one budget.
    const std::size_t size = jpeg::RgbBufferSize(width, height);
    if (size < jpeg::DecodeMemoryCap()) {
        b->buffer = new (std::nothrow) std::uint8_t[size];
    }
    if (b->buffer == nullptr) {
        jpeg::ReportOutOfMemory();
        return false;
    }
    *held = size;
    *b->width = width;
    *b->height = height;
    return true;
}

bool BufferRow(void* context, const std::uint8_t* rgb, std::uint32_t index) {
    BufferSink* b = static_cast<BufferSink*>(context);
    JpegFile::CopyRgbRow(rgb, static_cast<int>(*b->width), b->buffer, static_cast<int>(index));
    return true;
}

}  // namespace

namespace jpeg {

namespace {
std::size_t g_memoryCap = kDecodeMemoryCap;
// This thread's share of the cap (0: the whole), and whether a decode was
// refused for memory under it.
thread_local std::size_t t_share = 0;
thread_local bool t_refused = false;
}  // namespace

std::size_t DecodeMemoryCap() { return t_share != 0 ? t_share : g_memoryCap; }

CapShare::CapShare(std::size_t shares) {
    t_share = shares > 1 ? g_memoryCap / shares : 0;
    t_refused = false;
}

CapShare::~CapShare() {
    t_share = 0;
    t_refused = false;
}

bool CapShare::Refused() const { return t_refused; }

void NoteRefusedForMemory() {
    if (t_share != 0) {
        t_refused = true;
    }
}

void SetDecodeMemoryCap(std::size_t bytes) { g_memoryCap = bytes != 0 ? bytes : kDecodeMemoryCap; }

void ReportOutOfMemory() {
    NoteRefusedForMemory();
    CurrentPlatform().shell.AppMessageBox("JpegFile :\nOut of memory", BoxIcon::Error);
}

std::size_t RgbBufferSize(std::uint32_t width, std::uint32_t height) {
    const std::uint64_t bytes = std::uint64_t{width} * height * 3;
    const std::uint64_t rowBytes = ((std::uint64_t{width} * 24 + 31) / 32) * 4;
    const std::uint64_t bmpBytes = 54 + rowBytes * height;
    if (bytes == 0 || bytes > SIZE_MAX || bmpBytes > UINT32_MAX) {
        return 0;
    }
    return static_cast<std::size_t>(bytes);
}

bool Decode(const std::string& path, const RowSink& sink) {
    // Not a FIFO or a device: those would block or never end.
    std::FILE* file = OpenFileToRead(path);
    if (file == nullptr) {
        CurrentPlatform().shell.AppMessageBox("JPEG :\nCan't open " + path + "\n", BoxIcon::None);
        return false;
    }
    DecodeState state;
    std::memset(&state, 0, sizeof state);
    state.file = file;
    state.sink = &sink;
    return DecodeOpenFile(&state);
}

}  // namespace jpeg

std::uint8_t* JpegFile::DecodeToRgb(const std::string& path, std::uint32_t& width,
                                    std::uint32_t& height) {
    width = 0;
    height = 0;
    BufferSink b{nullptr, &width, &height};
    const jpeg::RowSink sink{&b, BufferBegin, BufferRow, nullptr, false, nullptr};
    if (!jpeg::Decode(path, sink)) {
        delete[] b.buffer;
        return nullptr;
    }
    return b.buffer;
}

void JpegFile::CopyRgbRow(const std::uint8_t* src, int width, std::uint8_t* dest, int row) {
    if (width <= 0) {
        return;
    }
    const std::size_t bytes = std::size_t(width) * 3;
    std::memcpy(dest + std::size_t(row) * bytes, src, bytes);
}

void JpegFile::ExpandGrayRow(const std::uint8_t* src, int width, std::uint8_t* dest, int row) {
    if (width <= 0) {
        return;
    }
    std::uint8_t* out = dest + std::size_t(row) * std::size_t(width) * 3;
    for (int x = 0; x < width; ++x, out += 3) {
        out[0] = out[1] = out[2] = src[x];
    }
}

}  // namespace qm
