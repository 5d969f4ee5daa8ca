// The conversion of arbitrary WebP files (libraries' limits, the size
// checks, the memory cap and the free space included).
#include "fuzz/fuzz_conversion.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qm::fuzz::UseFuzzingMemoryCap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return qm::fuzz::ConvertOne(data, size, "picture.webp");
}
