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

// The decode's memory cap while fuzzing. Everything under the real cap
// (640 MiB) decodes, taking seconds in the release build, ten times that
// under the sanitizers: beyond the fuzzer's 10 s. The same refusals at a
// twentieth of the size keep every input within its time, and libFuzzer's
// 1 GiB RSS and allocation limits then catch any decode that buffers
// before it refuses. The real cap's figures are bench/run.sh's.
inline constexpr std::size_t kFuzzingMemoryCap = std::size_t{32} << 20;
void UseFuzzingMemoryCap();

// Every box is one the conversion may show, with its own style, and a
// library warning is shown at most once per decode. Returns whether a
// fatal library error was among them.
bool CheckConversionBoxes(const HeadlessPlatform& platform, int decodes);

}  // namespace qm::fuzz
