// The libFuzzer side of one target: TARNWICK_FUZZ_ENTRY names its entry in FuzzEntries.h.
#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tarnwick::fuzz::TARNWICK_FUZZ_ENTRY(data, size);
}
