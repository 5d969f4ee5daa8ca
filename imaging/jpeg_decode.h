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
    // The output size, once the header is read. False stops the decode;
    // the sink has already told the user why.
    bool (*begin)(void* context, std::uint32_t width, std::uint32_t height);
    // One line, top to bottom, as width * 3 bytes of RGB (BGR when bgr is
    // set). False stops.
    bool (*row)(void* context, const std::uint8_t* rgb, std::uint32_t index);
    // Optional: where line `index` should be decoded to, saving a copy.
    // `row` is then called with that same pointer.
    std::uint8_t* (*target)(void* context, std::uint32_t index);
    // Deliver blue first, as BMP stores it.
    bool bgr;
};

// Opens and decodes the file, feeding the sink. True when every row was
// delivered; false after a failure the user has been told about (or that
// the sink refused).
bool Decode(const std::string& path, const RowSink& sink);

// Whether a picture of this size can be held as RGB and written as a BMP
// (whose size field is 32 bits); the RGB byte count, or 0 when not.
std::size_t RgbBufferSize(std::uint32_t width, std::uint32_t height);

// The box for a picture too big to hold.
void ReportOutOfMemory();

}  // namespace qm::jpeg
