// The decoding loop shared by DecodeToRgb and the wallpaper writer. Rows
// are handed to a sink as they come, so a caller that does not need the
// whole picture in memory never holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::jpeg {

// Plain callbacks, no C++ objects: they run between the decoder's setjmp
// and a possible longjmp. The sink may own C++ objects itself as long as it
// is not in the middle of a callback when the library gives up (callbacks
// never call the library).
struct RowSink {
    void* context;
    // The output size, once the header is read and the size found one a BMP
    // can hold, before the library buffers anything. The sink sets `held`
    // to the bytes it now holds, which count against kDecodeMemoryCap.
    // False stops the decode; the sink has already told the user why.
    bool (*begin)(void* context, std::uint32_t width, std::uint32_t height, std::size_t* held);
    // One line, top to bottom, as width * 3 bytes of RGB (BGR when bgr is
    // set). False stops.
    bool (*row)(void* context, const std::uint8_t* rgb, std::uint32_t index);
    // Optional: where line `index` should be decoded to, saving a copy.
    // `row` is then called with that same pointer.
    std::uint8_t* (*target)(void* context, std::uint32_t index);
    // Deliver blue first, as BMP stores it.
    bool bgr;
    // Optional: once the header is read, from the picture's full size, the
    // scale it is decoded at: 1, 2, 4 or 8 for 1/1 to 1/8 (libjpeg's DCT
    // scaling, which does less work the smaller it goes). Null: full size.
    unsigned (*denominator)(void* context, std::uint32_t width, std::uint32_t height);
};

// The most memory one decode may hold: the library's working memory (for a
// progressive or multi-scan picture, every coefficient of the picture, which
// jpeg_start_decompress buffers before the first line comes out) and the
// sink's own. The library has no backing store, so a request beyond it fails
// at once with the library's own message ("Backing store not supported").
//
// Why 640 MiB: the most a JPEG buffers is a progressive 4:4:4 picture, 6
// bytes a pixel (three full-size components, 128 bytes of coefficients per
// 8 x 8 block); a 100 MP photo of that kind (11648 x 8736) needs 582 MiB
// plus a few MiB of lines and tables, and a camera's 4:2:0 needs half that.
// The 32-bit Windows program has 2 GiB of address space, of which the
// program, its DLLs and its heap use little; 640 MiB, taken as one block per
// component, still fits in it beside them with room for fragmentation, where
// a few GiB could never be had. And a picture the cap lets through holds at
// most 640 MiB on any machine, for the few seconds its decode takes.
inline constexpr std::size_t kDecodeMemoryCap = std::size_t{640} << 20;
static_assert(kDecodeMemoryCap >= 11648u / 8 * (8736u / 8) * 128 * 3 + (16u << 20),
              "a 100 MP progressive 4:4:4 photo must still convert");

// The cap in force: kDecodeMemoryCap, unless a harness has set another. The
// fuzz targets set a smaller one, so that the same refusals come at a
// scale their sanitizers and time limits allow (a picture within the real
// cap decodes in seconds, ten times that under AddressSanitizer). 0 puts
// back kDecodeMemoryCap.
std::size_t DecodeMemoryCap();
void SetDecodeMemoryCap(std::size_t bytes);

// While it lives, with `shares` above 1, decodes on its thread may hold
// only that share of the cap, so that several at once hold no more than
// one would; Refused() then tells whether one was refused for memory,
// which it might not have been with the whole cap.
class CapShare {
public:
    explicit CapShare(std::size_t shares);
    ~CapShare();
    CapShare(const CapShare&) = delete;
    CapShare& operator=(const CapShare&) = delete;
    bool Refused() const;
};
// Marks a refusal for memory under the thread's share, if it has one.
void NoteRefusedForMemory();

// Opens and decodes the file, feeding the sink. True when every row was
// delivered; false after a failure the user has been told about (or that
// the sink refused).
bool Decode(const std::string& path, const RowSink& sink);

// Whether a picture of this size can be held as RGB and written as a BMP
// (whose size field is 32 bits); the RGB byte count, or 0 when not. The
// decoder asks it before anything is buffered: a picture that fails it is
// refused as out of memory.
std::size_t RgbBufferSize(std::uint32_t width, std::uint32_t height);

// The box for a picture too big to hold.
void ReportOutOfMemory();

}  // namespace qm::jpeg
