// Shared by the fuzz targets: one scratch folder per process, and the
// checks every target makes on the message boxes a run produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/headless/headless_platform.h"

namespace qm::fuzz {

// A folder of this process's own, removed when the process ends.
const std::string& ScratchDir();
// Writes bytes to a file in the scratch folder; its full path.
std::string WriteScratch(const std::string& name, const std::uint8_t* data, std::size_t size);
std::string ReadWhole(const std::string& path);
bool Exists(const std::string& path);

// Stops the run with a message: libFuzzer records the input as a finding.
[[noreturn]] void Fail(const char* what, const std::string& detail = "");

// Decoding time and memory follow the size a file declares, not its own
// length, so a 100-byte file can ask for gigapixels. Inputs over this many
// declared pixels are left out of fuzzing; the core's own size refusal is
// tested separately.
inline constexpr std::uint64_t kMaxDeclaredPixels = 1u << 20;
bool DeclaresHugePicture(const std::uint8_t* data, std::size_t size);

// Every box is one the conversion may show, with its own style, and a
// library warning is shown at most once per decode. Returns whether a
// fatal library error was among them.
bool CheckConversionBoxes(const HeadlessPlatform& platform, int decodes);

}  // namespace qm::fuzz
